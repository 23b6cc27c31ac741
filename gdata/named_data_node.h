// CNamedDataNode: the IGenericDataNode of one tree node.
#pragma once

#include <varel/vts_gdata.h>

#include "tree_node.h"

// A new node object on node, which lives in the tree that owner keeps alive.
// The object watches the tree without keeping it: once the document drops or
// replaces its tree, every method answers E_FAIL. E_OUTOFMEMORY when it cannot be made.
HRESULT CreateNodeObject(const TreeRef& owner, TreeNode* node, IGenericDataNode** out);

// The tree node behind node, kept alive by the result, when node is one of
// this library's own and its tree is still the document's; else null. For
// readers of a whole document, which go by the tree rather than a COM call,
// a name string and a value copy per value.
TreeRef OwnTreeNode(IGenericDataNode* node);
