#include "driver/library_driver.h"

#include <cstring>
#include <type_traits>
#include <vector>

#include "common/text_file.h"
#include "driver/kvnapp_abi.h"

#if defined(_WIN32)
#include "common/windows_api.h"

#include <cstdint>
#else
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#endif

namespace kvn {

namespace {

constexpr const char* kNotLibrary = "not a library for this machine";
constexpr const char* kCutShort = "the file is cut short; it may have been copied only in part";

#if defined(_WIN32)
// A DLL for this machine, whole: the DOS and PE headers, the section table
// and every section's data inside the file. The system's loader would refuse
// most such files itself, but not every one with a clear reason, and a file
// cut short can pass its checks and fail only at the first call into a page
// that is not there. Returns what is wrong, or nothing; a file that cannot
// be read is left to the loader to report.
std::string CheckPeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  struct Closer {
    HANDLE file;
    ~Closer() { CloseHandle(file); }
  } closer{file};
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file, &length) || GetFileType(file) != FILE_TYPE_DISK) return {};
  const auto size = static_cast<std::uint64_t>(length.QuadPart);
  auto readAt = [file, size](void* out, std::uint64_t bytes, std::uint64_t at) {
    if (at > size || bytes > size - at) return false;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    return ReadFile(file, out, static_cast<DWORD>(bytes), &got, &where) && got == bytes;
  };

  IMAGE_DOS_HEADER dos{};
  if (!readAt(&dos, sizeof dos, 0) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
    return kNotLibrary;
  const auto ntAt = static_cast<std::uint64_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!readAt(&signature, sizeof signature, ntAt)) return kCutShort;
  if (signature != IMAGE_NT_SIGNATURE) return kNotLibrary;
  if (!readAt(&header, sizeof header, ntAt + sizeof signature)) return kCutShort;
#if defined(_WIN64)
  constexpr WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
  constexpr WORD kOptionalMagic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
#else
  constexpr WORD kMachine = IMAGE_FILE_MACHINE_I386;
  constexpr WORD kOptionalMagic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
#endif
  if (header.Machine != kMachine || (header.Characteristics & IMAGE_FILE_DLL) == 0)
    return kNotLibrary;
  const std::uint64_t optionalAt = ntAt + sizeof signature + sizeof header;
  WORD optionalMagic = 0;
  if (header.SizeOfOptionalHeader < sizeof optionalMagic ||
      !readAt(&optionalMagic, sizeof optionalMagic, optionalAt))
    return kCutShort;
  if (optionalMagic != kOptionalMagic) return kNotLibrary;

  const std::uint64_t sectionsAt = optionalAt + header.SizeOfOptionalHeader;
  for (WORD i = 0; i < header.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section{};
    if (!readAt(&section, sizeof section, sectionsAt + std::uint64_t{i} * sizeof section))
      return kCutShort;
    const std::uint64_t end = std::uint64_t{section.PointerToRawData} + section.SizeOfRawData;
    if (section.SizeOfRawData != 0 && end > size) return kCutShort;
  }
  // The symbol table and its strings, where a build left them at the end.
  if (header.PointerToSymbolTable != 0) {
    const std::uint64_t strings =
        std::uint64_t{header.PointerToSymbolTable} + std::uint64_t{header.NumberOfSymbols} * 18;
    DWORD stringBytes = 0;
    if (!readAt(&stringBytes, sizeof stringBytes, strings) || stringBytes > size - strings)
      return kCutShort;
  }
  return {};
}

void* OpenLibrary(const std::string& path, std::string& error) {
  if (std::string problem = CheckPeFile(path); !problem.empty()) {
    error = std::move(problem);
    return nullptr;
  }
  // No box of the system's about a file it cannot load: the reason is told
  // in the program's own message. The library's own dependencies are looked
  // for in its folder first.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD err = GetLastError();
  SetThreadErrorMode(oldMode, nullptr);
  if (!h) error = WindowsErrorText(err);
  return reinterpret_cast<void*>(h);
}
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
// The system's loader maps a library's segments straight from the file and
// takes a bus error when one reaches past the file's end, as in a library
// that was copied only in part. So before it is handed over, the file must be
// a whole ELF library of this machine's kind: every segment and header table
// inside the file. Returns what is wrong, or nothing; a file that cannot be
// read is left to the loader to report.
std::string CheckElfFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const auto size = static_cast<std::uint64_t>(st.st_size);
  auto readAt = [fd, size](void* out, std::uint64_t bytes, std::uint64_t at) {
    if (at > size || bytes > size - at) return false;
    auto* p = static_cast<char*>(out);
    while (bytes > 0) {
      const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      at += static_cast<std::uint64_t>(n);
      bytes -= static_cast<std::uint64_t>(n);
    }
    return true;
  };

  ElfW(Ehdr) header{};
  if (!readAt(&header, sizeof header, 0)) return kNotLibrary;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return kNotLibrary;
  if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) return kNotLibrary;
  if (header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) return kNotLibrary;
  // Another processor's library is the loader's to refuse, with its reason.

  const std::uint64_t phBytes = std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
  if (header.e_phoff > size || phBytes > size - header.e_phoff) return kCutShort;
  if (header.e_shoff != 0) {
    const std::uint64_t shBytes = std::uint64_t{header.e_shnum} * header.e_shentsize;
    if (header.e_shoff > size || shBytes > size - header.e_shoff) return kCutShort;
  }
  for (ElfW(Half) i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment{};
    if (!readAt(&segment, sizeof segment, header.e_phoff + std::uint64_t{i} * sizeof segment))
      return kCutShort;
    if (segment.p_type != PT_LOAD && segment.p_type != PT_DYNAMIC) continue;
    if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset) return kCutShort;
  }
  return {};
}

void* OpenLibrary(const std::string& path, std::string& error) {
  if (std::string problem = CheckElfFile(path); !problem.empty()) {
    error = std::move(problem);
    return nullptr;
  }
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    error = e ? e : "unknown error";
  }
  return h;
}
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

}  // namespace

struct LibraryDriver::Table {
  abi::Fn_vbapp_Open vbapp_Open = nullptr;
  abi::Fn_vbapp_Close vbapp_Close = nullptr;
  abi::Fn_vbapp_LedOn vbapp_LedOn = nullptr;
  abi::Fn_vbapp_LedOff vbapp_LedOff = nullptr;
  abi::Fn_vbapp_Read vbapp_Read = nullptr;
  abi::Fn_vbapp_Write vbapp_Write = nullptr;
  abi::Fn_vbapp_Test vbapp_Test = nullptr;
  abi::Fn_vbapp_Version vbapp_Version = nullptr;
  abi::Fn_vbapp_CardRangesL vbapp_CardRangesL = nullptr;
  abi::Fn_envReadTemp envReadTemp = nullptr;
  abi::Fn_envWriteTemp envWriteTemp = nullptr;
  abi::Fn_envReadAna envReadAna = nullptr;
  abi::Fn_envReadDig envReadDig = nullptr;
  abi::Fn_envSetDig envSetDig = nullptr;
  abi::Fn_envSetEnables envSetEnables = nullptr;
  abi::Fn_dazEvo dazEvo = nullptr;
};

std::string LibraryDriver::PathIn(const std::string& folder) {
  return JoinPath(NativeSeparators(folder), KVNAPP_LIBRARY_FILE);
}

LibraryDriver::LibraryDriver(std::string path) : path_(std::move(path)) {}

std::optional<std::string> LibraryDriver::load() {
  if (!problem_.empty()) return problem_;
  if (fn_) return std::nullopt;
  const std::string& path = path_;
  std::string error;
  handle_ = OpenLibrary(path, error);
  if (!handle_) {
    problem_ = "The board driver library " + path + " could not be loaded (" + error + ").";
    return problem_;
  }

  auto table = std::make_unique<Table>();
  std::vector<std::string> missing;
  auto bind = [&](auto& slot, const char* name) {
    void* symbol = FindSymbol(handle_, name);
    if (!symbol) {
      missing.emplace_back(name);
      return;
    }
    // dlsym/GetProcAddress hand out function addresses as object pointers;
    // copying the bits is the portable way to take them back as functions.
    static_assert(sizeof(slot) == sizeof(symbol));
    std::memcpy(&slot, &symbol, sizeof(slot));
  };
#define KVN_BIND(name) bind(table->name, #name)
  KVN_BIND(vbapp_Open);
  KVN_BIND(vbapp_Close);
  KVN_BIND(vbapp_LedOn);
  KVN_BIND(vbapp_LedOff);
  KVN_BIND(vbapp_Read);
  KVN_BIND(vbapp_Write);
  KVN_BIND(vbapp_Test);
  KVN_BIND(vbapp_Version);
  KVN_BIND(vbapp_CardRangesL);
  KVN_BIND(envReadTemp);
  KVN_BIND(envWriteTemp);
  KVN_BIND(envReadAna);
  KVN_BIND(envReadDig);
  KVN_BIND(envSetDig);
  KVN_BIND(envSetEnables);
  KVN_BIND(dazEvo);
#undef KVN_BIND

  if (!missing.empty()) {
    std::string names;
    for (const auto& n : missing) names += (names.empty() ? "" : ", ") + n;
    problem_ = "The board driver library " + path + " has no function " + names + ".";
    CloseLibrary(handle_);
    handle_ = nullptr;
    return problem_;
  }

  abi::Fn_kvnsim_Simulated marker = nullptr;
  bind(marker, abi::kSimulatedMarker);
  simulated_ = marker != nullptr && marker() != 0;
  fn_ = std::move(table);
  return std::nullopt;
}

LibraryDriver::~LibraryDriver() {
  fn_.reset();
  if (handle_) CloseLibrary(handle_);
}

bool LibraryDriver::loaded() const { return fn_ != nullptr; }

std::int32_t LibraryDriver::vbapp_Open(std::int32_t card) {
  return fn_ ? fn_->vbapp_Open(card) : kDriverDidNotOpen;
}
std::int32_t LibraryDriver::vbapp_Close() { return fn_ ? fn_->vbapp_Close() : 0; }
std::int32_t LibraryDriver::vbapp_LedOn() { return fn_ ? fn_->vbapp_LedOn() : 0; }
std::int32_t LibraryDriver::vbapp_LedOff() { return fn_ ? fn_->vbapp_LedOff() : 0; }
std::int32_t LibraryDriver::vbapp_Read(std::int32_t offset) {
  return fn_ ? fn_->vbapp_Read(offset) : 0;
}
std::int32_t LibraryDriver::vbapp_Write(std::int32_t offset, std::int32_t value) {
  return fn_ ? fn_->vbapp_Write(offset, value) : 0;
}
std::int32_t LibraryDriver::vbapp_Test(std::int32_t value) {
  return fn_ ? fn_->vbapp_Test(value) : 0;
}
std::int32_t LibraryDriver::vbapp_Version() { return fn_ ? fn_->vbapp_Version() : 0; }
std::int32_t LibraryDriver::vbapp_CardRangesL(CardRanges& r) {
  if (!fn_) return 0;
  return fn_->vbapp_CardRangesL(&r.cardAux, &r.ioCount, &r.memCount, r.ioBase.data(),
                                r.ioExtent.data(), r.ioAux.data(), r.memBase.data(),
                                r.memExtent.data(), r.memAux.data());
}
std::int32_t LibraryDriver::envReadTemp(std::int32_t& current, std::int32_t& high,
                                        std::int32_t& low, std::int32_t& fourth,
                                        std::int32_t sensor) {
  return fn_ ? fn_->envReadTemp(&current, &high, &low, &fourth, sensor) : 0;
}
std::int32_t LibraryDriver::envWriteTemp(std::int32_t high, std::int32_t low,
                                         std::int32_t sensor) {
  return fn_ ? fn_->envWriteTemp(high, low, sensor) : 0;
}
std::int32_t LibraryDriver::envReadAna(std::int32_t code) {
  return fn_ ? fn_->envReadAna(code) : 0;
}
std::int32_t LibraryDriver::envReadDig() { return fn_ ? fn_->envReadDig() : 0; }
std::int32_t LibraryDriver::envSetDig(std::int32_t value) {
  return fn_ ? fn_->envSetDig(value) : 0;
}
std::int32_t LibraryDriver::envSetEnables(std::int32_t value) {
  return fn_ ? fn_->envSetEnables(value) : 0;
}
std::int32_t LibraryDriver::dazEvo(std::int32_t value) { return fn_ ? fn_->dazEvo(value) : 0; }

}  // namespace kvn
