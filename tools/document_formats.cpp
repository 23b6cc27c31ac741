#include "tools/document_formats.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "text.h"

#include <charconv>
#include <cstdlib>
#include <cmath>
#include <string_view>
#include <vector>

namespace {

// A node as read through the document's interfaces.
struct Item {
    std::string name;
    std::string text;
    std::vector<Item> children;
};

// The value's text as the XML writer gives it: text as it is, other values
// in their automation text form, empty ones and those without a form "".
std::string ValueText(IGenericDataNode* node) {
    VARIANT value, text;
    VariantInit(&value);
    VariantInit(&text);
    std::string utf8;
    if (SUCCEEDED(node->GetValue(&value)) && value.vt != VT_EMPTY &&
        SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR)) && text.vt == VT_BSTR)
        utf8 = Utf16ToUtf8(BstrView(text.bstrVal));
    VariantClear(&text);
    VariantClear(&value);
    return utf8;
}

bool Read(IGenericDataNode* node, Item* item) {
    item->text = ValueText(node);
    ComPtr<IDispatch> list;
    HRESULT hr = node->Children(list.Put());
    if (hr == E_NOINTERFACE) return true; // a leaf
    ComPtr<IEnumGenericNodes> children;
    if (FAILED(hr) || FAILED(list->QueryInterface(IID_IEnumGenericNodes, children.PutVoid()))) return false;
    for (;;) {
        BStr name;
        ComPtr<IGenericDataNode> child;
        if (FAILED(children->Next(name.Put(), child.Put()))) return true; // the end
        item->children.push_back({Utf16ToUtf8(BstrView(name.Get())), {}, {}});
        if (!Read(child.Get(), &item->children.back())) return false;
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Optional sign, digits with an optional point (at least one digit), optional exponent.
bool IsDecimalNumber(std::string_view t) {
    size_t i = 0, digits = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    for (; i < t.size() && IsDigit(t[i]); ++i) ++digits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && IsDigit(t[i]); ++i) ++digits;
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t exponent = 0;
        for (; i < t.size() && IsDigit(t[i]); ++i) ++exponent;
        if (exponent == 0) return false;
    }
    return i == t.size();
}

void AppendJsonString(std::string_view text, std::string* out) {
    out->push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out->append("\\u00");
            out->push_back(hex[(c >> 4) & 0xF]);
            out->push_back(hex[c & 0xF]);
        } else {
            out->push_back(c);
        }
    }
    out->push_back('"');
}

// A decimal number in JSON's own form: an integer as one, a real in the
// shortest form that reads back the same; one beyond a double's range stays text.
void AppendJsonValue(const std::string& text, std::string* out) {
    if (text.empty()) {
        out->append("null");
        return;
    }
    if (!IsDecimalNumber(text)) {
        AppendJsonString(text, out);
        return;
    }
    const char* begin = text.data() + (text[0] == '+');
    const char* end = text.data() + text.size();
    char buffer[32];
    long long integer = 0;
    if (text.find_first_of(".eE") == std::string::npos &&
        std::from_chars(begin, end, integer).ec == std::errc()) {
        out->append(buffer, std::to_chars(buffer, buffer + sizeof buffer, integer).ptr);
        return;
    }
    const double real = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(real)) {
        AppendJsonString(text, out);
        return;
    }
    out->append(buffer, std::to_chars(buffer, buffer + sizeof buffer, real).ptr);
}

void AppendJson(const Item& item, int level, std::string* out) {
    if (item.children.empty()) {
        AppendJsonValue(item.text, out);
        return;
    }
    out->push_back('{');
    const std::string indent(2 * static_cast<size_t>(level + 1), ' ');
    for (size_t i = 0; i < item.children.size(); ++i) {
        out->append(i ? ",\n" : "\n").append(indent);
        AppendJsonString(item.children[i].name, out);
        out->append(": ");
        AppendJson(item.children[i], level + 1, out);
    }
    out->append("\n").append(2 * static_cast<size_t>(level), ' ').push_back('}');
}

void AppendCsvField(const std::string& text, std::string* out) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out->append(text);
        return;
    }
    out->push_back('"');
    for (char c : text) {
        if (c == '"') out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

void AppendCsvRows(const Item& item, const std::string& path, std::string* out) {
    for (const Item& child : item.children) {
        const std::string childPath = path.empty() ? child.name : path + "." + child.name;
        if (!child.children.empty()) {
            AppendCsvRows(child, childPath, out);
            continue;
        }
        AppendCsvField(childPath, out);
        out->push_back(',');
        AppendCsvField(child.text, out);
        out->push_back('\n');
    }
}

} // namespace

bool ParseDocumentFormat(const std::string& name, DocumentFormat* format) {
    if (name == "xml")
        *format = DocumentFormat::Xml;
    else if (name == "json")
        *format = DocumentFormat::Json;
    else if (name == "csv")
        *format = DocumentFormat::Csv;
    else
        return false;
    return true;
}

bool FormatDocument(IGenericData* document, DocumentFormat format, std::string* text) {
    text->clear();
    if (format == DocumentFormat::Xml) {
        BStr xml;
        if (FAILED(document->ToXMLString(xml.Put()))) return false;
        *text = Utf16ToUtf8(xml.View()) + "\n";
        return true;
    }
    ComPtr<IGenericDataNode> root;
    Item tree;
    if (FAILED(document->GetRootNode(root.Put())) || !Read(root.Get(), &tree)) return false;
    if (format == DocumentFormat::Json) {
        if (tree.children.empty())
            text->append("{}");
        else
            AppendJson(tree, 0, text);
        text->push_back('\n');
    } else {
        text->append("path,value\n");
        AppendCsvRows(tree, "", text);
    }
    return true;
}
