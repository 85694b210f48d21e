// The type library embedded in the DLL, read back through the platform's type-library
// interfaces: identities, attributes, the member table in slot order, and help strings stored as
// code page 936 text.
#include <string>
#include <vector>

#include "com_test_support.h"

namespace pellmora::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment(/*registerClass=*/false));

// What the loader makes of code page 936 bytes: it reads the library's strings in the ANSI code
// page, so the expected text is the GBK bytes of `utf8` decoded the same way.
std::wstring AsStoredInLibrary(const char* utf8) {
  wchar_t wide[256] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 256);
  char gbk[256] = {};
  WideCharToMultiByte(936, 0, wide, -1, gbk, sizeof gbk, nullptr, nullptr);
  wchar_t loaded[256] = {};
  MultiByteToWideChar(CP_ACP, 0, gbk, -1, loaded, 256);
  return loaded;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, library_.put()), S_OK);
    ASSERT_EQ(library_->GetTypeInfoOfGuid(IID_IConnectionString, interface_.put()), S_OK);
  }

  struct Documentation {
    std::wstring name, help;
    DWORD context = 0;
    std::wstring file;
  };
  static Documentation Document(ITypeInfo* info, MEMBERID id) {
    AutomationString name, help, file;
    Documentation result;
    EXPECT_EQ(info->GetDocumentation(id, name.put(), help.put(), &result.context, file.put()), S_OK);
    result.name = Text(name.get());
    result.help = Text(help.get());
    result.file = Text(file.get());
    return result;
  }

  // The interface part of the dual interface, which describes the function table.
  ComPtr<ITypeInfo> VtablePart() const {
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> vtable;
    EXPECT_EQ(interface_->GetRefTypeOfImplType(-1, &reference), S_OK);
    EXPECT_EQ(interface_->GetRefTypeInfo(reference, vtable.put()), S_OK);
    return vtable;
  }

  ComPtr<ITypeLib> library_;
  ComPtr<ITypeInfo> interface_;
};

TEST_F(TypeLibrary, LibraryAttributes) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library_->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_PellmoraLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0u);
  EXPECT_EQ(attributes->syskind, kSysKind);
  // The loader adds "has disk image" to whatever the library stores; it stores no flags.
  EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
  library_->ReleaseTLibAttr(attributes);

  AutomationString name, help;
  DWORD context = 7;
  ASSERT_EQ(library_->GetDocumentation(-1, name.put(), help.put(), &context, nullptr), S_OK);
  EXPECT_EQ(Text(name.get()), L"PellmoraLib");
  EXPECT_EQ(Text(help.get()), AsStoredInLibrary(u8"Pellmora 1.0 类型库"));
  EXPECT_EQ(context, 0u);
  EXPECT_EQ(library_->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLibrary, CoclassFirstWithItsDefaultInterface) {
  TYPEKIND kind;
  ASSERT_EQ(library_->GetTypeInfoType(0, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_COCLASS);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library_->GetTypeInfo(0, coclass.put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualCLSID(attributes->guid, CLSID_ConnectionString));
  EXPECT_EQ(attributes->wTypeFlags, TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attributes->cImplTypes, 1);
  EXPECT_EQ(attributes->wMajorVerNum, 0);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  coclass->ReleaseTypeAttr(attributes);

  INT flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE reference = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
  ComPtr<ITypeInfo> implemented;
  ASSERT_EQ(coclass->GetRefTypeInfo(reference, implemented.put()), S_OK);
  TYPEATTR* implementedAttributes = nullptr;
  ASSERT_EQ(implemented->GetTypeAttr(&implementedAttributes), S_OK);
  EXPECT_TRUE(IsEqualIID(implementedAttributes->guid, IID_IConnectionString));
  implemented->ReleaseTypeAttr(implementedAttributes);

  const Documentation doc = Document(coclass.get(), MEMBERID_NIL);
  EXPECT_EQ(doc.name, L"ConnectionString");
  EXPECT_EQ(doc.help, L"ConnectionString Class");
}

TEST_F(TypeLibrary, DualInterfaceAttributes) {
  TYPEKIND kind;
  ASSERT_EQ(library_->GetTypeInfoType(1, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_DISPATCH);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(interface_->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->wMajorVerNum, 0);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  const WORD dispatchFlags = attributes->wTypeFlags;
  interface_->ReleaseTypeAttr(attributes);

  ComPtr<ITypeInfo> vtable = VtablePart();
  ASSERT_TRUE(vtable);
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  const WORD vtableFlags = attributes->wTypeFlags;
  vtable->ReleaseTypeAttr(attributes);
  // The library stores dual, oleautomation, nonextensible and dispatchable (0x11C0); the loader
  // presents them on the interface part and leaves oleautomation off the dispatch part.
  EXPECT_EQ(vtableFlags, 0x11C0) << std::hex << vtableFlags;
  EXPECT_EQ(dispatchFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE)
      << std::hex << dispatchFlags;

  // IDispatch comes from the imported standard library stdole2.tlb 2.0.
  HREFTYPE baseReference = 0;
  ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &baseReference), S_OK);
  ComPtr<ITypeInfo> base;
  ASSERT_EQ(vtable->GetRefTypeInfo(baseReference, base.put()), S_OK);
  ComPtr<ITypeLib> imported;
  UINT index = 0;
  ASSERT_EQ(base->GetContainingTypeLib(imported.put(), &index), S_OK);
  TLIBATTR* importedAttributes = nullptr;
  ASSERT_EQ(imported->GetLibAttr(&importedAttributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(importedAttributes->guid, IID_StdOle));
  EXPECT_EQ(importedAttributes->wMajorVerNum, 2);
  EXPECT_EQ(importedAttributes->wMinorVerNum, 0);
  imported->ReleaseTLibAttr(importedAttributes);
  ASSERT_EQ(base->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualIID(attributes->guid, IID_IDispatch));
  base->ReleaseTypeAttr(attributes);

  const Documentation doc = Document(interface_.get(), MEMBERID_NIL);
  EXPECT_EQ(doc.name, L"IConnectionString");
  EXPECT_EQ(doc.help, AsStoredInLibrary(u8"IConnectionString 接口"));
}

struct Row {
  int slot;
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  std::vector<VARTYPE> parameters;  // VT_BSTR | VT_BYREF for an out string
  const char* help;                 // UTF-8, stored as code page 936
};

const Row kMembers[] = {
    {7, L"UID", 1, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 UID"},
    {8, L"UID", 1, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 UID"},
    {9, L"PassWord", 2, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 PassWord"},
    {10, L"PassWord", 2, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 PassWord"},
    {11, L"Catalog", 3, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 Catalog"},
    {12, L"Catalog", 3, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 Catalog"},
    {13, L"Provider", 4, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 Provider"},
    {14, L"Provider", 4, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 Provider"},
    {15, L"DataSource", 5, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 DataSource"},
    {16, L"DataSource", 5, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 DataSource"},
    {17, L"Timeout", 6, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 Timeout"},
    {18, L"Timeout", 6, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 Timeout"},
    {19, L"CurrentLanguage", 7, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 CurrentLanguage"},
    {20, L"CurrentLanguage", 7, INVOKE_PROPERTYPUT, {VT_BSTR}, u8"属性 CurrentLanguage"},
    {21, L"ODBCString", 8, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 ODBCString"},
    {22, L"OleDBString", 9, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 OleDBString"},
    {23, L"OleDBString2", 10, INVOKE_PROPERTYGET, {VT_BSTR | VT_BYREF}, u8"属性 OleDBString2"},
    {24, L"parse", 11, INVOKE_FUNC, {VT_BSTR, VT_BOOL | VT_BYREF}, u8"方法parse"},
    {25, L"Reset", 12, INVOKE_FUNC, {}, u8"方法Reset"},
};

// The interface part of the dual interface describes the function table slot by slot.
TEST_F(TypeLibrary, MemberTableInSlotOrder) {
  ComPtr<ITypeInfo> vtable = VtablePart();
  ASSERT_TRUE(vtable);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attributes->cFuncs, 19);
  EXPECT_EQ(attributes->cbSizeVft, 26 * sizeof(void*));
  vtable->ReleaseTypeAttr(attributes);

  for (UINT index = 0; index < std::size(kMembers); ++index) {
    const Row& row = kMembers[index];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(index, &function), S_OK) << row.slot;
    EXPECT_EQ(function->memid, row.id) << row.slot;
    EXPECT_EQ(function->invkind, row.kind) << row.slot;
    EXPECT_EQ(function->oVft, row.slot * static_cast<int>(sizeof(void*))) << row.slot;
    EXPECT_EQ(function->callconv, CC_STDCALL) << row.slot;
    EXPECT_EQ(function->funckind, FUNC_PUREVIRTUAL) << row.slot;
    EXPECT_EQ(function->wFuncFlags, 0) << row.slot;
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT) << row.slot;
    ASSERT_EQ(static_cast<size_t>(function->cParams), row.parameters.size()) << row.slot;
    for (size_t p = 0; p < row.parameters.size(); ++p) {
      const TYPEDESC& type = function->lprgelemdescParam[p].tdesc;
      const VARTYPE seen = type.vt == VT_PTR ? static_cast<VARTYPE>(type.lptdesc->vt | VT_BYREF) : type.vt;
      EXPECT_EQ(seen, row.parameters[p]) << row.slot << " parameter " << p;
      const USHORT flags = function->lprgelemdescParam[p].paramdesc.wParamFlags;
      const bool out = (row.parameters[p] & VT_BYREF) != 0;
      EXPECT_EQ(flags, out ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_FIN) << row.slot << " parameter " << p;
    }

    vtable->ReleaseFuncDesc(function);

    const Documentation doc = Document(vtable.get(), row.id);
    EXPECT_EQ(doc.name, row.name) << row.slot;
    EXPECT_EQ(doc.help, AsStoredInLibrary(row.help)) << row.slot;
    EXPECT_EQ(doc.context, 0u) << row.slot;
  }
}

// Parameter names on the interface part: a get's out value is "pVal", parse's are
// "strConnection" and "bSucc". (The dispatch part hides return values.)
TEST_F(TypeLibrary, ParameterNames) {
  ComPtr<ITypeInfo> vtable = VtablePart();
  ASSERT_TRUE(vtable);
  const struct {
    MEMBERID id;
    std::vector<std::wstring> names;
  } kCases[] = {
      {1, {L"UID", L"pVal"}},
      {8, {L"ODBCString", L"pVal"}},
      {11, {L"parse", L"strConnection", L"bSucc"}},
      {12, {L"Reset"}},
  };
  for (const auto& row : kCases) {
    BSTR raw[4] = {};
    UINT count = 0;
    ASSERT_EQ(vtable->GetNames(row.id, raw, 4, &count), S_OK) << row.id;
    std::vector<std::wstring> names;
    for (UINT n = 0; n < count; ++n) {
      AutomationString name(raw[n]);
      names.push_back(Text(name.get()));
    }
    EXPECT_EQ(names, row.names) << row.id;
  }
}

TEST_F(TypeLibrary, EmbeddedAsTypelibResourceOneInSimplifiedChinese) {
  HMODULE data = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr);
  EXPECT_NE(
      FindResourceExW(data, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
      nullptr);
  HRSRC resource = FindResourceW(data, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(resource, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(data, resource)));
  const DWORD size = SizeofResource(data, resource);
  ASSERT_GE(size, 4u);
  EXPECT_EQ(std::string(bytes, 4), "MSFT");
  FreeLibrary(data);
}

}  // namespace
}  // namespace pellmora::testing
