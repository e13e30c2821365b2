#pragma once

// Result codes of the capture graph, with their customary values. Failures of system calls travel as
// HRESULT_FROM_ERRNO codes (customer bit set, facility 0x0FF, the errno value in the low word), so that they
// never collide with the fixed codes below.

#include <cstdint>
#include <string>

using HRESULT = int32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using REFERENCE_TIME = int64_t;

constexpr HRESULT MakeResult(uint32_t value) { return static_cast<HRESULT>(value); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154);
// The device is in use by another program.
inline constexpr HRESULT HRESULT_DEVICE_NOT_FUNCTIONING = MakeResult(0x8007001F);
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeResult(0x80040200);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeResult(0x80040204);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeResult(0x80040207);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeResult(0x80040209);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeResult(0x8004020A);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeResult(0x80040217);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeResult(0x80040224);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeResult(0x8004022A);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeResult(0x80040227);
inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = MakeResult(0x00040103);

constexpr HRESULT HRESULT_FROM_ERRNO(int error)
{
    return MakeResult(0xA0FF0000u | (static_cast<uint32_t>(error) & 0xFFFFu));
}
constexpr bool IsErrnoResult(HRESULT hr) { return (static_cast<uint32_t>(hr) & 0xFFFF0000u) == 0xA0FF0000u; }

// What the code means, in English: the fixed codes from a table, errno codes from strerror; empty for a
// code nobody describes.
std::wstring DescribeResult(HRESULT hr);
