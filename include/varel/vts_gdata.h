/* GenericData: the document of named values that carries every parameter,
 * configuration and result set between a host and the server.
 *
 * A document is a tree. Each node holds one VARIANT and its children, kept in
 * the code-unit order of their UTF-16 names (case-sensitive, each name once;
 * "Z" before "a", "U[10]" before "U[2]"). Nodes are never removed. GetChild,
 * GetChildValue and SetChildValue take dotted paths ("p.q" is child q of
 * child p); AddChild and AddChildWithValue take one name whole, dots included.
 *
 * Create a document with CoCreateInstance(CLSID_GenericData, nullptr,
 * CLSCTX_INPROC_SERVER, IID_IGenericData, ...) or by the ProgID
 * "VarelData.GenericData". Every node object (IGenericDataNode) and every
 * enumerator is a new COM object that the caller releases. A node object
 * stays usable while its document lives and its tree is not replaced by
 * Load/LoadFromFile; afterwards its methods answer E_FAIL.
 *
 * Apartment threaded: use a document and its nodes from one thread at a time.
 * Every method returns an HRESULT; the result codes are listed per method. */
#ifndef VAREL_VTS_GDATA_H
#define VAREL_VTS_GDATA_H

#include "vts_platform.h"

#ifndef VTS_GUID_API
#if defined(_WIN32)
#define VTS_GUID_API extern "C"
#else
#define VTS_GUID_API extern "C" __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
/* {0D5B2936-9236-47D3-AE89-AA7DF0301B2A} "VarelData.GenericData(.1)" */
VTS_GUID_API const CLSID CLSID_GenericData;
/* {B252A0EE-8DAE-41C7-8D66-92A2E3559EB8} */
VTS_GUID_API const IID IID_IGenericData;
/* {7A65C292-0FA7-4EA9-A7DF-73FF22BB1F49} */
VTS_GUID_API const IID IID_IGenericDataNode;
/* {51AE26F1-4401-4F58-806E-26F1465120E8} */
VTS_GUID_API const IID IID_IEnumGenericNodes;
/* {65687F0D-DED6-4505-933B-ADDA8A32B1CA} declared only: no object answers it */
VTS_GUID_API const IID IID_IGenericDataNodeEx;

struct IGenericDataNode;

/* One node of a document. Every method answers E_FAIL when the node object
 * has outlived its tree. */
struct IGenericDataNode : IDispatch {
    /* Finds the child named exactly sName or adds it with an empty value.
     * E_INVALIDARG: null out; E_FAIL: null or empty name. */
    virtual HRESULT STDMETHODCALLTYPE AddChild(BSTR sName, IGenericDataNode** lppNode) = 0;
    /* Dotted path. E_FAIL: not found; E_POINTER: null out (checked after the lookup). */
    virtual HRESULT STDMETHODCALLTYPE GetChild(BSTR sFieldName, IGenericDataNode** lppNode) = 0;
    /* Copies val into the node (VariantCopy's result). */
    virtual HRESULT STDMETHODCALLTYPE SetValue(VARIANT val) = 0;
    /* Copies the value out; the caller clears it. E_INVALIDARG: null out. */
    virtual HRESULT STDMETHODCALLTYPE GetValue(VARIANT* pval) = 0;
    /* Find-or-add as AddChild, then copies val into the child. E_FAIL: empty name. */
    virtual HRESULT STDMETHODCALLTYPE AddChildWithValue(BSTR sName, VARIANT val) = 0;
    /* Dotted path. E_INVALIDARG: not found or null out. */
    virtual HRESULT STDMETHODCALLTYPE GetChildValue(BSTR sFieldName, VARIANT* pval) = 0;
    /* Dotted path; nothing is added. E_INVALIDARG: not found. */
    virtual HRESULT STDMETHODCALLTYPE SetChildValue(BSTR sFieldName, VARIANT val) = 0;
    /* A new enumerator (IEnumGenericNodes, handed out as IDispatch) on the
     * first child. E_NOINTERFACE: the node has no children; E_INVALIDARG: null out. */
    virtual HRESULT STDMETHODCALLTYPE Children(IDispatch** lppNodeCollection) = 0;
};

/* Walks the children of one node in name order, over the live child map. */
struct IEnumGenericNodes : IDispatch {
    /* Either out may be null. E_FAIL at the end (there is no S_FALSE end mark). */
    virtual HRESULT STDMETHODCALLTYPE Next(BSTR* lpsNodeName, IGenericDataNode** lppNode) = 0;
    /* Back to the first child; E_FAIL when the node has no children. */
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

/* A document. */
struct IGenericData : IDispatch {
    /* XML text (see README). Null or empty: the tree is dropped, S_FALSE.
     * Text that is not XML: S_FALSE and the tree stays. Else S_OK with the new tree. */
    virtual HRESULT STDMETHODCALLTYPE Load(BSTR bstrXML) = 0;
    /* The root node, made empty on first use. E_INVALIDARG: null out. */
    virtual HRESULT STDMETHODCALLTYPE GetRootNode(IGenericDataNode** lppRootNode) = 0;
    /* As Load, from a UTF-8 or UTF-16 (with byte-order mark) file. A missing,
     * unreadable or malformed file: S_FALSE and the tree stays. */
    virtual HRESULT STDMETHODCALLTYPE LoadFromFile(BSTR bstrFilePathName) = 0;
    /* Writes the document as UTF-8. E_INVALIDARG: null path or no tree. */
    virtual HRESULT STDMETHODCALLTYPE SaveToFile(BSTR bstrFilePathName) = 0;
    /* The document as XML text; the caller frees it. E_INVALIDARG: null out or no tree. */
    virtual HRESULT STDMETHODCALLTYPE ToXMLString(BSTR* pbstrXML) = 0;
};

/* Declared for the type library only: no node object answers it. */
struct IGenericDataNodeEx : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE AddStructNode(BSTR sName, BYTE* pVarelStruct, ULONG nSize,
                                                    IGenericDataNode** lppNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStructNode(BSTR sName, BYTE* pVarelStruct, ULONG nSize,
                                                    IGenericDataNode** lppNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStructNode(BSTR sName, BYTE* pVarelStruct,
                                                    ULONG nSize) = 0;
};

#else /* C */
/* The DLL exports functions only, so a C host gets the ids as constants of
 * its own: nothing to link and no INITGUID to define first. Each file has its
 * copy; compare them by value (IsEqualGUID), never by address. */
static const CLSID CLSID_GenericData = {
    0x0D5B2936, 0x9236, 0x47D3, {0xAE, 0x89, 0xAA, 0x7D, 0xF0, 0x30, 0x1B, 0x2A}};
static const IID IID_IGenericData = {
    0xB252A0EE, 0x8DAE, 0x41C7, {0x8D, 0x66, 0x92, 0xA2, 0xE3, 0x55, 0x9E, 0xB8}};
static const IID IID_IGenericDataNode = {
    0x7A65C292, 0x0FA7, 0x4EA9, {0xA7, 0xDF, 0x73, 0xFF, 0x22, 0xBB, 0x1F, 0x49}};
static const IID IID_IEnumGenericNodes = {
    0x51AE26F1, 0x4401, 0x4F58, {0x80, 0x6E, 0x26, 0xF1, 0x46, 0x51, 0x20, 0xE8}};
static const IID IID_IGenericDataNodeEx = {
    0x65687F0D, 0xDED6, 0x4505, {0x93, 0x3B, 0xAD, 0xDA, 0x8A, 0x32, 0xB1, 0xCA}};

/* C sees the interfaces as opaque pointers, to hand to the exports and to
 * call through IUnknown/IDispatch. */
typedef struct IGenericDataNode IGenericDataNode;
typedef struct IEnumGenericNodes IEnumGenericNodes;
typedef struct IGenericData IGenericData;
typedef struct IGenericDataNodeEx IGenericDataNodeEx;
#endif

#endif
