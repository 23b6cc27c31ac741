// The loading rules: elements are walked in document order, whatever their
// tag; an element without "id" is skipped with its subtree; each element
// becomes a prepared node that is merged into its parent, once under its own
// name or, with "arraybound", once per array element name.
#include "xml_reader.h"

#include "debug_output.h"
#include "text.h"
#include "xml_text.h"

#include <pugixml.hpp>

#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

namespace {

struct LoadFailure {
    const char* reason;
};

struct ValueType {
    const char* name;
    VARTYPE vt;
};
constexpr ValueType kValueTypes[] = {
    {"char", VT_I1}, {"short", VT_I2}, {"int", VT_I4}, {"long", VT_I4}, {"float", VT_R4}, {"double", VT_R8},
};

class TreeLoader {
public:
    void LoadLevel(const pugi::xml_node& element, TreeNode& parent, int depth) {
        if (depth > kMaxXmlDepth) throw LoadFailure{"nesting too deep"};
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            if (child.type() != pugi::node_element) continue;
            Attributes attributes(child);
            if (!attributes.id) continue;
            TreeNode prepared(parent.arena);
            Count(1);
            ReadValue(attributes, prepared.value);
            if (child.first_child()) LoadLevel(child, prepared, depth + 1);

            WideString name = NameText(attributes.id.value());
            int dims[3] = {0, 0, 0};
            if (attributes.arraybound) ParseArrayBound(attributes.arraybound.value(), dims);
            if (dims[0] < 1) {
                MergeChild(parent, name, std::move(prepared));
                continue;
            }
            ExpandArray(parent, name, dims, prepared);
            if (attributes.initfunc) ReadInitList(child, attributes.initfunc.value());
        }
    }

private:
    // The attributes the rules look at, found in one pass (the first of each name counts).
    struct Attributes {
        explicit Attributes(const pugi::xml_node& element) {
            for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
                const char* n = a.name();
                pugi::xml_attribute* slot = nullptr;
                switch (n[0]) {
                case 'i':
                    slot = std::strcmp(n, "id") == 0 ? &id : std::strcmp(n, "initfunc") == 0 ? &initfunc : nullptr;
                    break;
                case 'v':
                    slot = std::strcmp(n, "value") == 0       ? &value
                           : std::strcmp(n, "valuetype") == 0 ? &valuetype
                                                              : nullptr;
                    break;
                case 'a': slot = std::strcmp(n, "arraybound") == 0 ? &arraybound : nullptr; break;
                default: break;
                }
                if (slot && !*slot) *slot = a;
            }
        }
        pugi::xml_attribute id, value, valuetype, arraybound, initfunc;
    };

    static WideString NameText(const char* text) {
        WideString name;
        const char* p = text;
        for (; *p && static_cast<unsigned char>(*p) < 0x80; ++p) name += static_cast<WCHAR>(*p);
        return *p ? Utf8ToUtf16(text) : name;
    }

    void Count(size_t nodes) {
        if (nodes > kMaxLoadedNodes - loaded_) throw LoadFailure{"too many nodes"};
        loaded_ += nodes;
    }

    static void ReadValue(const Attributes& attributes, VARIANT& value) {
        if (!attributes.value) return;
        value.bstrVal = Utf8ToBstr(attributes.value.value());
        if (!value.bstrVal) throw std::bad_alloc();
        value.vt = VT_BSTR;
        const pugi::xml_attribute& type = attributes.valuetype;
        if (!type) return;
        for (const ValueType& known : kValueTypes) {
            if (std::strcmp(type.value(), known.name) != 0) continue;
            // A text that does not convert stays text.
            VARIANT converted;
            VariantInit(&converted);
            if (SUCCEEDED(VariantChangeType(&converted, &value, 0, known.vt))) {
                VariantClear(&value);
                value = converted;
            }
            return;
        }
    }

    // Up to three dimensions: at each digit the number starting there fills
    // the first slot still below 1, and the scan goes on after the next ",".
    static void ParseArrayBound(const char* text, int dims[3]) {
        for (const char* p = text; *p;) {
            if (*p < '0' || *p > '9') {
                ++p;
                continue;
            }
            long long number = 0;
            for (; *p >= '0' && *p <= '9'; ++p)
                if (number < 0x7FFFFFFF) number = number * 10 + (*p - '0');
            for (int& slot : std::span<int>(dims, 3))
                if (slot < 1) {
                    slot = static_cast<int>(number < 0x7FFFFFFF ? number : 0x7FFFFFFF);
                    break;
                }
            p = std::strchr(p, ',');
            if (!p) break;
            ++p;
        }
    }

    void ExpandArray(TreeNode& parent, const WideString& name, const int dims[3], const TreeNode& prepared) {
        int used = 1;
        while (used < 3 && dims[used] >= 1) ++used;
        size_t elements = 1;
        for (int d = 0; d < used; ++d) {
            if (elements > kMaxLoadedNodes / static_cast<size_t>(dims[d])) throw LoadFailure{"array too large"};
            elements *= static_cast<size_t>(dims[d]);
        }
        size_t subtree = CountNodes(prepared);
        if (elements > kMaxLoadedNodes / subtree) throw LoadFailure{"array too large"};
        Count(elements * subtree);
        // Array names are built in a buffer of 256 units: the base name keeps at most 255.
        WideString element = name.substr(0, 255);
        ExpandDimension(parent, element, dims, used, 0, prepared);
    }

    static void ExpandDimension(TreeNode& parent, WideString& name, const int dims[3], int used, int d,
                                const TreeNode& prepared) {
        size_t base = name.size();
        for (int i = 0; i < dims[d]; ++i) {
            name.resize(base);
            name += OLESTR('[');
            for (char c : std::to_string(i)) name += static_cast<WCHAR>(c);
            name += OLESTR(']');
            if (d + 1 < used)
                ExpandDimension(parent, name, dims, used, d + 1, prepared);
            else
                MergeChild(parent, name, prepared.Clone(parent.arena));
        }
        name.resize(base);
    }

    // "initfunc" names, by an XPath expression on the element, a node whose
    // text is a ";"-separated list of initial values. The list is read and
    // split; filling the array from it is not done.
    static void ReadInitList(const pugi::xml_node& element, const char* expression) {
        std::string text;
        try {
            pugi::xpath_node found = element.select_node(expression);
            if (found.attribute())
                text = found.attribute().value();
            else if (found.node())
                for (pugi::xml_node n = found.node().first_child(); n; n = n.next_sibling())
                    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
        } catch (const pugi::xpath_exception&) {
            return;
        }
        size_t values = text.empty() ? 0 : 1;
        for (char c : text) values += c == ';';
        DebugPrintf("GenericData: initfunc \"%s\" gives %zu values, which are not applied\n", expression, values);
    }

    size_t loaded_ = 0;
};

HRESULT NotLoaded(const char* reason, ptrdiff_t offset) {
    DebugPrintf("GenericData: XML not loaded: %s (offset %td)\n", reason, offset);
    return S_FALSE;
}

} // namespace

HRESULT ReadTreeFromXml(const void* bytes, size_t size, XmlBytes kind, TreeRef* tree) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    pugi::xml_encoding encoding = pugi::encoding_utf16_le;
    if (kind == XmlBytes::File) {
        if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
            encoding = pugi::encoding_utf16_le;
        } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
            encoding = pugi::encoding_utf16_be;
        } else {
            encoding = pugi::encoding_utf8;
            if (!IsValidUtf8({reinterpret_cast<const char*>(data), size})) return NotLoaded("invalid UTF-8", -1);
        }
    }
    try {
        pugi::xml_document dom;
        pugi::xml_parse_result parsed = dom.load_buffer(bytes, size, pugi::parse_default, encoding);
        if (!parsed) return NotLoaded(parsed.description(), parsed.offset);
        pugi::xml_node element = dom.document_element();
        if (!element) return NotLoaded("no document element", 0);
        TreeRef root = MakeTree();
        TreeLoader loader;
        loader.LoadLevel(element, *root, 1);
        *tree = std::move(root);
        return S_OK;
    } catch (const LoadFailure& failure) {
        return NotLoaded(failure.reason, -1);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
