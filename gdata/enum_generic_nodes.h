// CEnumGenericNodes: walks the children of one tree node in name order.
#pragma once

#include <varel/vts_gdata.h>

#include "tree_node.h"

// A new enumerator on the first child of node (which has children), handed
// out as its IDispatch. Like the node objects it answers E_FAIL once the
// document dropped the tree. E_OUTOFMEMORY when it cannot be made.
HRESULT CreateNodeEnumerator(const TreeRef& node, IDispatch** out);
