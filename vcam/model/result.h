// Result codes of the camera model. They have the HRESULT form so that the
// capture filter can hand them to DirectShow callers unchanged, but they are
// plain integers: the model knows no Windows type.
#pragma once

#include <cstdint>

namespace vcam {

using Result = std::int32_t;

constexpr Result VCAM_S_OK = 0;
// E_FAIL: a register transaction failed (fault switch without a chosen code).
constexpr Result VCAM_E_FAIL = static_cast<Result>(0x80004005u);
// E_INVALIDARG: a request the camera refuses (area rectangle, format, rate).
constexpr Result VCAM_E_INVALIDARG = static_cast<Result>(0x80070057u);
// E_POINTER: a null buffer.
constexpr Result VCAM_E_POINTER = static_cast<Result>(0x80004003u);
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND): an area request while the camera is
// not in Format 7.
constexpr Result VCAM_E_NOT_FOUND = static_cast<Result>(0x80070490u);
// HRESULT_FROM_WIN32(ERROR_INVALID_ADDRESS): a register the camera does not
// implement (the bus would answer with an address error).
constexpr Result VCAM_E_ADDRESS = static_cast<Result>(0x800701E7u);
// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED): the camera is unplugged.
constexpr Result VCAM_E_NOT_CONNECTED = static_cast<Result>(0x8007048Fu);
// HRESULT_FROM_WIN32(ERROR_BUSY): another process streams the camera.
constexpr Result VCAM_E_BUSY = static_cast<Result>(0x800700AAu);

constexpr bool Succeeded(Result r) { return r >= 0; }
constexpr bool Failed(Result r) { return r < 0; }

}  // namespace vcam
