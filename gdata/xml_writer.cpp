// The writing rules: each child becomes an element "Para" with "id" and
// "value", children in name order, each on its own line with two blanks per
// level, the document element's children at level 1. The text is written
// straight from the tree, without a DOM in between: the same bytes a DOM
// serialiser gives, at a fraction of the cost. The writer holds no state
// beyond one call, so documents may be written on several threads at once.
#include "xml_writer.h"

#include "xml_text.h"

#include "com/variant.h"

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr char kFileComment[] = "<!-- VarelTSS GenericData -->";

// An attribute value as UTF-8 between double quotes: '&', '<' and '"' as
// entities, control characters as two-digit character references ("&#09;"),
// everything from the first NUL on left out (an attribute cannot hold one).
void AppendAttributeText(WideStringView text, std::string* out) {
    size_t i = 0;
    while (i < text.size()) {
        WCHAR unit = text[i];
        if (unit == 0) return;
        if (unit >= 0x80) {
            size_t run = i;
            while (run < text.size() && text[run] >= 0x80) ++run;
            AppendUtf8(text.substr(i, run - i), out);
            i = run;
            continue;
        }
        switch (unit) {
        case '&': out->append("&amp;"); break;
        case '<': out->append("&lt;"); break;
        case '"': out->append("&quot;"); break;
        default:
            if (unit < 0x20) {
                out->append("&#");
                out->push_back(static_cast<char>('0' + unit / 10));
                out->push_back(static_cast<char>('0' + unit % 10));
                out->push_back(';');
            } else {
                out->push_back(static_cast<char>(unit));
            }
        }
        ++i;
    }
}

// Text stays as it is; other values take their automation text form
// (VariantChangeType to VT_BSTR). Values without one (empty, null,
// objects, arrays) are written as "".
void AppendValueText(const VARIANT& value, std::string* out) {
    if (value.vt == VT_BSTR) {
        AppendAttributeText(BstrView(value.bstrVal), out);
        return;
    }
    if (value.vt == VT_EMPTY) return;
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(VariantChangeType(&converted, &value, 0, VT_BSTR)) && converted.vt == VT_BSTR)
        AppendAttributeText(BstrView(converted.bstrVal), out);
    VariantClear(&converted);
}

void AppendBreak(int level, std::string* out) {
    out->append("\r\n");
    out->append(2 * static_cast<size_t>(level), ' ');
}

void AppendLevel(const TreeNode& node, int level, std::string* out) {
    for (const auto& [name, child] : *node.children) {
        AppendBreak(level, out);
        out->append("<Para id=\"");
        AppendAttributeText(name, out);
        out->append("\" value=\"");
        AppendValueText(child.value, out);
        if (!child.children) {
            out->append("\"/>");
            continue;
        }
        out->append("\">");
        AppendLevel(child, level + 1, out);
        out->append("</Para>");
    }
    AppendBreak(level - 1, out);
}

} // namespace

std::string WriteTreeAsXml(const TreeNode& root, XmlTemplate form) {
    std::string text(kDeclaration);
    if (form == XmlTemplate::File) text.append(kFileComment);
    if (!root.children) {
        text.append("<root/>");
        return text;
    }
    // About 50 bytes a node; one reservation spares the regrowth copies.
    text.reserve(text.size() + 50 * CountNodes(root));
    text.append("<root>");
    AppendLevel(root, 1, &text);
    text.append("</root>");
    return text;
}
