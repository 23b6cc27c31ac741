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

TreeNode::TreeNode(TreeNode&& other, const allocator_type& arena) : arena(arena) {
    if (other.arena == arena) {
        MoveValue(value, other.value);
        children = other.children;
        other.children = nullptr;
        return;
    }
    TreeNode copy = other.Clone(arena);
    MoveValue(value, copy.value);
    children = copy.children;
    copy.children = nullptr;
}

TreeNode::~TreeNode() {
    if (children) arena.delete_object(children);
}

TreeNode TreeNode::Clone(const allocator_type& target) const {
    TreeNode copy(target);
    VariantCopy(&copy.value, &value);
    if (children) {
        ChildMap& copies = copy.Children();
        for (const auto& [name, child] : *children)
            copies.emplace_hint(copies.end(), std::piecewise_construct, std::forward_as_tuple(name),
                                std::forward_as_tuple(child.Clone(target)));
    }
    return copy;
}

TreeNode::ChildMap& TreeNode::Children() {
    if (!children) children = arena.new_object<ChildMap>();
    return *children;
}

TreeRef MakeTree() {
    auto tree = std::make_shared<Tree>();
    return TreeRef(tree, &tree->root);
}

TreeNode* FindChild(TreeNode& parent, WideStringView name) {
    if (!parent.children) return nullptr;
    auto it = parent.children->find(name);
    return it == parent.children->end() ? nullptr : &it->second;
}

TreeNode& FindOrAddChild(TreeNode& parent, WideStringView name) {
    TreeNode::ChildMap& children = parent.Children();
    auto it = children.lower_bound(name);
    if (it != children.end() && it->first == name) return it->second;
    return children.emplace_hint(it, std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple())
        ->second;
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
    TreeNode::ChildMap& children = parent.Children();
    auto it = children.lower_bound(name);
    if (it == children.end() || it->first != name) {
        // A new name takes the prepared node whole.
        children.emplace_hint(it, std::piecewise_construct, std::forward_as_tuple(name),
                              std::forward_as_tuple(std::move(source)));
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
