#pragma once
// Host stand-ins for the few Win32 types and calls that the shell's PIDL code
// and wide string list use, so that their fuzz targets build natively. Each
// target defines the calls it needs (FuzzWin32.h).
#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef long HRESULT;
typedef unsigned long ULONG;
typedef unsigned long DWORD;
typedef unsigned int UINT;
typedef size_t SIZE_T;
typedef uint16_t USHORT;
typedef uint8_t BYTE;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

#define WINAPI
#define STDMETHODCALLTYPE
#define TRUE 1
#define FALSE 0
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005L)
#define FAILED(hr) ((HRESULT)(hr) < 0)
#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)

#pragma pack(push, 1)
struct SHITEMID {
  USHORT cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

// The shell allocator's calls that the PIDL code makes.
struct IMalloc {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual void* Alloc(SIZE_T size) = 0;
  virtual void Free(void* block) = 0;

protected:
  ~IMalloc() = default;
};

HRESULT SHGetMalloc(IMalloc** allocator);

// Declarations of the wide string routines name these; nothing here uses them.
typedef struct HWND__* HWND;
typedef struct HDC__* HDC;
struct SIZE {
  long cx;
  long cy;
};
#define MAX_PATH 260
#define CP_ACP 0
#define STRRET_WSTR 0
#define STRRET_OFFSET 1
#define STRRET_CSTR 2
struct STRRET {
  UINT uType;
  union {
    LPWSTR pOleStr;
    UINT uOffset;
    char cStr[MAX_PATH];
  };
};
