#include "tree_node.h"

#include <cstring>

namespace {
// A VARIANT is a plain 16-byte record with owned pointers inside: moving it
// is copying the record and emptying the source.
void MoveValue(VARIANT& target, VARIANT& source) {
    if (&target == &source) return;
    VariantClear(&target);
    std::memcpy(&target, &source, sizeof(VARIANT));
    VariantInit(&source);
}
} // namespace

TreeNode::TreeNode(TreeNode&& other) noexcept : children(std::move(other.children)) {
    MoveValue(value, other.value);
}

TreeNode& TreeNode::operator=(TreeNode&& other) noexcept {
    MoveValue(value, other.value);
    children = std::move(other.children);
    return *this;
}

TreeNode TreeNode::Clone() const {
    TreeNode copy;
    VariantCopy(&copy.value, &value);
    if (children) {
        copy.children = std::make_unique<ChildMap>();
        for (const auto& [name, child] : *children)
            copy.children->emplace_hint(copy.children->end(), name, child.Clone());
    }
    return copy;
}

TreeNode* FindChild(TreeNode& parent, WideStringView name) {
    if (!parent.children) return nullptr;
    auto it = parent.children->find(name);
    return it == parent.children->end() ? nullptr : &it->second;
}

TreeNode& FindOrAddChild(TreeNode& parent, WideStringView name) {
    if (!parent.children) parent.children = std::make_unique<TreeNode::ChildMap>();
    auto it = parent.children->lower_bound(name);
    if (it != parent.children->end() && it->first == name) return it->second;
    return parent.children->emplace_hint(it, WideString(name), TreeNode())->second;
}

TreeNode* ResolvePath(TreeNode& start, WideStringView path) {
    TreeNode* node = &start;
    for (;;) {
        size_t dot = path.find(OLESTR('.'));
        WideStringView name = path.substr(0, dot);
        if (name.empty()) return nullptr;
        node = FindChild(*node, name);
        if (!node || dot == WideStringView::npos) return node;
        path.remove_prefix(dot + 1);
    }
}

void MergeChild(TreeNode& parent, WideStringView name, TreeNode&& source) {
    if (!parent.children) parent.children = std::make_unique<TreeNode::ChildMap>();
    auto it = parent.children->lower_bound(name);
    if (it == parent.children->end() || it->first != name) {
        // A new name takes the prepared node whole.
        parent.children->emplace_hint(it, WideString(name), std::move(source));
        return;
    }
    TreeNode& target = it->second;
    MoveValue(target.value, source.value);
    if (!source.children) return;
    for (auto& [childName, child] : *source.children) MergeChild(target, childName, std::move(child));
}

size_t CountNodes(const TreeNode& node) {
    size_t count = 1;
    if (node.children)
        for (const auto& entry : *node.children) count += CountNodes(entry.second);
    return count;
}
