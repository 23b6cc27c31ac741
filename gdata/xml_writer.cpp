// The writing rules: each child becomes an element "Para" with "id" and
// "value", children in name order, each on its own line with two blanks per
// level, the document element's children at level 1. The level travels as
// an argument, so documents may be written on several threads at once.
#include "xml_writer.h"

#include "xml_text.h"

#include <pugixml.hpp>

namespace {

constexpr char kFileComment[] = " VarelTSS GenericData ";

class TreeWriter {
public:
    void WriteLevel(pugi::xml_node element, const TreeNode& node, int level) {
        for (const auto& [name, child] : *node.children) {
            AppendBreak(element, level);
            pugi::xml_node para = element.append_child("Para");
            text_.clear();
            AppendUtf8(name, &text_);
            para.append_attribute("id").set_value(text_.c_str());
            ValueText(child.value);
            para.append_attribute("value").set_value(text_.c_str());
            if (child.children) WriteLevel(para, child, level + 1);
        }
        AppendBreak(element, level - 1);
    }

private:
    void AppendBreak(pugi::xml_node element, int level) {
        indent_.assign("\r\n");
        indent_.append(2 * static_cast<size_t>(level), ' ');
        element.append_child(pugi::node_pcdata).set_value(indent_.c_str());
    }

    // Text stays as it is; other values take their automation text form
    // (VariantChangeType to VT_BSTR). Values without one (empty, null,
    // objects, arrays) are written as "".
    void ValueText(const VARIANT& value) {
        text_.clear();
        if (value.vt == VT_BSTR) {
            AppendUtf8(WideStringView(value.bstrVal ? value.bstrVal : OLESTR(""), SysStringLen(value.bstrVal)),
                       &text_);
            return;
        }
        if (value.vt == VT_EMPTY) return;
        VARIANT converted;
        VariantInit(&converted);
        if (SUCCEEDED(VariantChangeType(&converted, &value, 0, VT_BSTR)) && converted.vt == VT_BSTR)
            AppendUtf8(WideStringView(converted.bstrVal ? converted.bstrVal : OLESTR(""),
                                           SysStringLen(converted.bstrVal)),
                       &text_);
        VariantClear(&converted);
    }

    std::string text_;
    std::string indent_;
};

class StringWriter final : public pugi::xml_writer {
public:
    explicit StringWriter(std::string* out) : out_(out) {}
    void write(const void* data, size_t size) override { out_->append(static_cast<const char*>(data), size); }

private:
    std::string* out_;
};

} // namespace

std::string WriteTreeAsXml(const TreeNode& root, XmlTemplate form) {
    pugi::xml_document dom;
    pugi::xml_node declaration = dom.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("utf-8");
    if (form == XmlTemplate::File) dom.append_child(pugi::node_comment).set_value(kFileComment);
    pugi::xml_node element = dom.append_child("root");
    if (root.children) TreeWriter().WriteLevel(element, root, 1);
    std::string text;
    StringWriter writer(&text);
    dom.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return text;
}
