#include "NtFiles.h"

#include <cstring>
#include <vector>

#include "QuorvanellListed.h"

namespace qv::engine {
namespace {

struct CountedText {
  USHORT length;
  USHORT maximumLength;
  PWSTR buffer;
};

struct ObjectAttributes {
  ULONG length;
  HANDLE rootDirectory;
  CountedText* objectName;
  ULONG attributes;
  PVOID securityDescriptor;
  PVOID securityQualityOfService;
};

struct IoStatus {
  union {
    LONG status;
    PVOID pointer;
  };
  ULONG_PTR information;
};

using NtCreateFileCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, ObjectAttributes*, IoStatus*, PLARGE_INTEGER, ULONG,
                                      ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileCall = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
using NtQueryInformationFileCall = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
using NtQueryDirectoryFileCall = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, IoStatus*, PVOID, ULONG, ULONG, BOOLEAN,
                                              CountedText*, BOOLEAN);
using NtQueryObjectCall = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using StatusToErrorCall = ULONG(NTAPI*)(LONG);

constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kBackupIntent = 0x00004000;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kRenameInformation = 10;
constexpr ULONG kDispositionInformation = 13;
constexpr ULONG kStreamInformation = 22;
constexpr ULONG kIdBothDirectoryInformation = 37;
constexpr ULONG kCaseSensitiveInformation = 71;
constexpr ULONG kCaseSensitiveDirectory = 0x1;
constexpr LONG kNoMoreFiles = LONG(0x80000006);
constexpr LONG kNoSuchFile = LONG(0xC000000F);
constexpr LONG kBufferOverflow = LONG(0x80000005);
constexpr LONG kBufferTooSmall = LONG(0xC0000023);
constexpr LONG kInfoLengthMismatch = LONG(0xC0000004);

struct Native {
  NtCreateFileCall create = nullptr;
  NtSetInformationFileCall set = nullptr;
  NtQueryInformationFileCall query = nullptr;
  NtQueryDirectoryFileCall list = nullptr;
  NtQueryObjectCall object = nullptr;
  StatusToErrorCall toError = nullptr;
};

const Native& Calls() {
  static const Native native = [] {
    Native n;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return n;
    n.create = reinterpret_cast<NtCreateFileCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    n.set = reinterpret_cast<NtSetInformationFileCall>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
    n.query = reinterpret_cast<NtQueryInformationFileCall>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
    n.list = reinterpret_cast<NtQueryDirectoryFileCall>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryFile")));
    n.object = reinterpret_cast<NtQueryObjectCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
    n.toError = reinterpret_cast<StatusToErrorCall>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    return n;
  }();
  return native;
}

DWORD ErrorOf(LONG status) {
  const Native& n = Calls();
  return n.toError ? DWORD(n.toError(status)) : DWORD(ERROR_GEN_FAILURE);
}

}  // namespace

HANDLE OpenBelow(HANDLE folder, const std::u16string& name, ACCESS_MASK access, ULONG share, ULONG options,
                 DWORD& error, ULONG disposition) {
  const Native& n = Calls();
  if (!n.create) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return INVALID_HANDLE_VALUE;
  }
  if (name.empty() || name.size() > 32767) {
    error = ERROR_INVALID_NAME;
    return INVALID_HANDLE_VALUE;
  }
  std::u16string text = name;
  CountedText counted{USHORT(text.size() * 2), USHORT(text.size() * 2), reinterpret_cast<PWSTR>(text.data())};
  ObjectAttributes attributes{sizeof(ObjectAttributes), folder, &counted, 0, nullptr, nullptr};
  IoStatus io{};
  HANDLE handle = nullptr;
  LONG status = n.create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                         disposition, options | kOpenReparsePoint | kBackupIntent | kSynchronousIo, nullptr, 0);
  if (status < 0) {
    error = ErrorOf(status);
    return INVALID_HANDLE_VALUE;
  }
  error = 0;
  return handle;
}

bool RenameBelow(HANDLE item, HANDLE folder, const std::u16string& name, DWORD& error) {
  const Native& n = Calls();
  if (!n.set) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  // The rename record: replace flag, root folder, name length, name.
  std::vector<uint8_t> record(sizeof(FILE_RENAME_INFO) + name.size() * 2);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(record.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = folder;
  info->FileNameLength = DWORD(name.size() * 2);
  std::memcpy(info->FileName, name.data(), name.size() * 2);
  IoStatus io{};
  LONG status = n.set(item, &io, info, ULONG(record.size()), kRenameInformation);
  error = status < 0 ? ErrorOf(status) : 0;
  return status >= 0;
}

bool MarkForDeletion(HANDLE item, DWORD& error) {
  const Native& n = Calls();
  if (!n.set) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  BOOLEAN remove = TRUE;
  IoStatus io{};
  LONG status = n.set(item, &io, &remove, sizeof remove, kDispositionInformation);
  error = status < 0 ? ErrorOf(status) : 0;
  return status >= 0;
}

bool ReadFolder(HANDLE folder, const std::u16string* mask, void* buffer, ULONG bytes, DWORD& error, bool restart) {
  const Native& n = Calls();
  if (!n.list) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  std::u16string text = mask ? *mask : std::u16string();
  CountedText counted{USHORT(text.size() * 2), USHORT(text.size() * 2), reinterpret_cast<PWSTR>(text.data())};
  IoStatus io{};
  LONG status = n.list(folder, nullptr, nullptr, nullptr, &io, buffer, bytes, kIdBothDirectoryInformation, FALSE,
                       mask ? &counted : nullptr, restart ? TRUE : FALSE);
  if (status == kNoMoreFiles || status == kNoSuchFile) {
    error = ERROR_NO_MORE_FILES;
    return false;
  }
  if (status < 0) {
    error = ErrorOf(status);
    return false;
  }
  error = 0;
  return true;
}

HANDLE OpenFolderAgain(HANDLE folder, DWORD& error) {
  const Native& n = Calls();
  if (!n.create) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return INVALID_HANDLE_VALUE;
  }
  CountedText none{0, 0, nullptr};  // the held folder itself
  ObjectAttributes attributes{sizeof(ObjectAttributes), folder, &none, 0, nullptr, nullptr};
  IoStatus io{};
  HANDLE now = nullptr;
  LONG status = n.create(&now, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr,
                         FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 1 /* open */,
                         kDirectoryOnly | kOpenReparsePoint | kBackupIntent | kSynchronousIo, nullptr, 0);
  if (status < 0) {
    error = ErrorOf(status);
    return INVALID_HANDLE_VALUE;
  }
  error = 0;
  return now;
}

bool VisitEntries(HANDLE folder, const std::function<bool(const std::u16string&, uint64_t)>& visit, DWORD& error) {
  // Some systems (Wine) list a handle's folder once and answer every later
  // read, even one from the start, from that list: a handle of its own,
  // opened through the held one, lists it as it is now.
  HANDLE now = OpenFolderAgain(folder, error);
  if (now == INVALID_HANDLE_VALUE) return false;
  std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
  for (bool first = true;; first = false) {
    if (!ReadFolder(now, nullptr, buffer.data(), ULONG(buffer.size() * sizeof(uint64_t)), error, first)) {
      CloseHandle(now);
      return error == ERROR_NO_MORE_FILES;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
      std::u16string entry(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / sizeof(char16_t));
      if (!visit(entry, uint64_t(info->FileId.QuadPart))) {
        CloseHandle(now);
        return true;
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
}

bool ListsName(HANDLE folder, const std::u16string& name, bool& listed, DWORD& error) {
  listed = false;
  return VisitEntries(
      folder,
      [&](const std::u16string& entry, uint64_t) {
        listed = entry == name;
        return !listed;
      },
      error);
}

bool TagOf(HANDLE item, DWORD& attributes, DWORD& reparseTag) {
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!GetFileInformationByHandleEx(item, FileAttributeTagInfo, &info, sizeof info)) return false;
  attributes = info.FileAttributes;
  reparseTag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
  return true;
}

bool StreamsOf(HANDLE file, std::vector<std::u16string>& names) {
  const Native& n = Calls();
  if (!n.query) return false;
  std::vector<uint64_t> buffer(1024);
  for (;;) {
    IoStatus io{};
    LONG status = n.query(file, &io, buffer.data(), ULONG(buffer.size() * 8), kStreamInformation);
    if (status == kBufferOverflow || status == kBufferTooSmall || status == kInfoLengthMismatch) {
      if (buffer.size() >= (1u << 20)) return false;
      buffer.resize(buffer.size() * 4);
      continue;
    }
    if (status < 0) return false;
    if (io.information == 0) return true;  // no stream at all
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      // Next offset, name length, size, allocation size, name.
      const auto* record = bytes + at;
      ULONG next = *reinterpret_cast<const ULONG*>(record);
      ULONG nameBytes = *reinterpret_cast<const ULONG*>(record + 4);
      std::u16string name(reinterpret_cast<const char16_t*>(record + 24), nameBytes / 2);  // ":name:$DATA"
      size_t type = name.rfind(u':');
      if (name != u"::$DATA" && type != std::u16string::npos && type > 0) names.push_back(name.substr(0, type));
      if (next == 0) break;
      at += next;
    }
    return true;
  }
}

bool FileIdOf(HANDLE item, uint64_t& id) { return qvkeys::FileIdOf(item, id); }

bool IgnoresCase(HANDLE folder) {
  const Native& n = Calls();
  if (!n.query) return false;
  ULONG flags = 0;
  IoStatus io{};
  LONG status = n.query(folder, &io, &flags, sizeof flags, kCaseSensitiveInformation);
  return status >= 0 && (flags & kCaseSensitiveDirectory) == 0;
}

std::u16string ObjectNameOf(HANDLE item) {
  const Native& n = Calls();
  if (!n.object) return {};
  // A counted text and the longest name the system makes after it.
  std::vector<uint64_t> buffer((sizeof(CountedText) + 65536 + 7) / 8 + 1);
  ULONG returned = 0;
  if (n.object(item, kObjectNameInformation, buffer.data(), ULONG(buffer.size() * 8), &returned) < 0) return {};
  const auto* name = reinterpret_cast<const CountedText*>(buffer.data());
  if (!name->buffer) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(name->buffer), name->length / sizeof(char16_t));
}

}  // namespace qv::engine
