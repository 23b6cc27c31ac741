// The one node core of a generic data document: a value and the children,
// kept in the code-unit order of their UTF-16 names. Nodes are never removed,
// so a tree keeps its nodes and names in one arena of its own and frees them
// all at once.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include "com/variant.h"

#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>

struct TreeNode {
    using allocator_type = std::pmr::polymorphic_allocator<std::byte>;
    // Names order by code unit (WCHAR is unsigned): "Z" < "a", "U[10]" < "U[2]".
    using Name = std::basic_string<WCHAR, std::char_traits<WCHAR>, std::pmr::polymorphic_allocator<WCHAR>>;
    // Code unit by code unit, written out so that the compiler keeps it inline:
    // a document read field by field looks up a name for every value.
    struct NameLess {
        using is_transparent = void;
        bool operator()(WideStringView a, WideStringView b) const {
            const size_t n = a.size() < b.size() ? a.size() : b.size();
            for (size_t i = 0; i < n; ++i)
                if (a[i] != b[i]) return a[i] < b[i];
            return a.size() < b.size();
        }
    };
    using ChildMap = std::pmr::map<Name, TreeNode, NameLess>;

    Variant value;                // VT_EMPTY when made
    ChildMap* children = nullptr; // in the arena; null until the first child, never empty once made
    allocator_type arena;

    explicit TreeNode(const allocator_type& arena) : arena(arena) {}
    TreeNode(TreeNode&& other) noexcept : TreeNode(std::move(other), other.arena) {}
    // Within one arena the subtree moves; into another it is copied.
    TreeNode(TreeNode&& other, const allocator_type& arena);
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;
    ~TreeNode();
    // Deep copy into arena: the value and the whole subtree. Throws std::bad_alloc.
    TreeNode Clone(const allocator_type& arena) const;
    // Makes the child map when there is none. Throws std::bad_alloc.
    ChildMap& Children();
};

// A document's tree: the arena and the root that lives in it. Handed out as
// a TreeRef that shares the ownership of the whole.
struct Tree {
    // The first block holds a small document; big ones grow geometrically.
    std::pmr::monotonic_buffer_resource arena{4096};
    TreeNode root{&arena};
};

// The root of a tree, shared with the node objects that watch it.
using TreeRef = std::shared_ptr<TreeNode>;
// A new empty tree. Throws std::bad_alloc.
TreeRef MakeTree();

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
