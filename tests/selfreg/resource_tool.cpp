// Test helper: makes a copy of a library in which the loader finds no embedded type library, and
// writes that type library as a file of its own, so that the tests can register a library whose
// type library lives beside it.
//
//   resource_tool split-typelib <library> <copy without type library> <type library file | ->
//
// Exits with 0 on success; prints what failed otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct LibraryFree {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using LibraryHolder = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

struct FileClose {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHolder = std::unique_ptr<std::FILE, FileClose>;

int Fail(const char* what) {
  std::fprintf(stderr, "resource_tool: %s (error %lu)\n", what, GetLastError());
  return 1;
}

// The type name as the resource directory stores it: a count of UTF-16 units, then the units.
const char kTypeName[] = "\x07\0T\0Y\0P\0E\0L\0I\0B\0";
constexpr std::size_t kTypeNameSize = sizeof kTypeName - 1;

// Renames the resource type "TYPELIB" of the library file `path` to "TYPELIX" in place, so that
// the loader no longer finds a type library in it. The directory stays sorted: both names come
// after every other named type of the library.
bool HideTypeLibrary(const char* path) {
  std::vector<char> bytes;
  {
    FileHolder file(std::fopen(path, "rb"));
    if (!file) return false;
    char block[65536];
    for (std::size_t read; (read = std::fread(block, 1, sizeof block, file.get())) > 0;)
      bytes.insert(bytes.end(), block, block + read);
  }
  std::size_t found = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i + kTypeNameSize <= bytes.size(); ++i) {
    if (std::memcmp(&bytes[i], kTypeName, kTypeNameSize) == 0) {
      ++found;
      at = i;
    }
  }
  if (found != 1) {
    std::fprintf(stderr, "resource_tool: the type name occurs %zu times\n", found);
    return false;
  }
  bytes[at + kTypeNameSize - 2] = 'X';
  FileHolder file(std::fopen(path, "wb"));
  return file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

int SplitTypeLibrary(const char* library, const char* copy, const char* typeLibraryFile) {
  {
    LibraryHolder module(LoadLibraryExA(library, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return Fail("cannot load the library as data");
    HRSRC resource = FindResourceA(module.get(), MAKEINTRESOURCEA(1), "TYPELIB");
    if (!resource) return Fail("the library has no type library resource");
    HGLOBAL loaded = LoadResource(module.get(), resource);
    const DWORD size = SizeofResource(module.get(), resource);
    if (!loaded || size == 0) return Fail("cannot read the type library resource");
    if (std::strcmp(typeLibraryFile, "-") != 0) {
      FileHolder file(std::fopen(typeLibraryFile, "wb"));
      if (!file || std::fwrite(LockResource(loaded), 1, size, file.get()) != size)
        return Fail("cannot write the type library file");
    }
  }
  if (!CopyFileA(library, copy, FALSE)) return Fail("cannot copy the library");
  if (!HideTypeLibrary(copy)) return Fail("cannot hide the type library of the copy");

  LibraryHolder check(LoadLibraryExA(copy, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!check) return Fail("the copy does not load");
  if (FindResourceA(check.get(), MAKEINTRESOURCEA(1), "TYPELIB")) {
    SetLastError(0);
    return Fail("the copy still holds a type library");
  }
  if (!FindResourceA(check.get(), MAKEINTRESOURCEA(101), "REGISTRY")) {
    return Fail("the copy lost its other resources");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "split-typelib") == 0) return SplitTypeLibrary(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: resource_tool split-typelib <library> <copy> <type library file | ->\n");
  return 2;
}
