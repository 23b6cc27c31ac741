// The one node core of a generic data document: a value and the children,
// kept in the code-unit order of their UTF-16 names. Nodes are never removed.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include "com/variant.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

struct TreeNode {
    // WideString orders by code unit (WCHAR is unsigned): "Z" < "a", "U[10]" < "U[2]".
    using ChildMap = std::map<WideString, TreeNode, std::less<>>;

    Variant value;                      // VT_EMPTY when made
    std::unique_ptr<ChildMap> children; // null until the first child; never empty once made

    TreeNode() = default;
    TreeNode(TreeNode&& other) noexcept;
    TreeNode& operator=(TreeNode&& other) noexcept;
    // Deep copy: the value and the whole subtree. Throws std::bad_alloc.
    TreeNode Clone() const;
};

// The tree of a document: the root, shared with the node objects that watch it.
using TreeRef = std::shared_ptr<TreeNode>;

// The child named exactly name, or null.
TreeNode* FindChild(TreeNode& parent, WideStringView name);
// Finds or adds (with an empty value) the child named exactly name. Throws std::bad_alloc.
TreeNode& FindOrAddChild(TreeNode& parent, WideStringView name);
// Dotted path "p.q": child q of child p. Null when a name is empty or missing.
TreeNode* ResolvePath(TreeNode& start, WideStringView path);
// Merges source into the child of parent named name: find-or-add, take over
// the value, merge each child of source the same way. Throws std::bad_alloc.
void MergeChild(TreeNode& parent, WideStringView name, TreeNode&& source);
// The number of nodes in node's subtree, node included.
size_t CountNodes(const TreeNode& node);
