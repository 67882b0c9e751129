#include "camera_rom.h"

#include <algorithm>
#include <optional>

#include "camera_query.h"
#include "exit_status.h"
#include "session.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"

namespace iidctool {

namespace {

vcam::RomReader RomReaderOf(iidc_handle hCamera)
{
    return [hCamera](uint32_t nByte, uint32_t* pdwQuadlet) {
        const auto dwQuadlet = ReadRegister(hCamera, vcam::RomByteToOffset(nByte));
        if (dwQuadlet)
            *pdwQuadlet = *dwQuadlet;
        return dwQuadlet.has_value();
    };
}

bool IsName(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A name the interface did not give, from the walk by keys.
void TakeKeyName(std::string& name, std::string& walk, const std::optional<std::string>& keyName)
{
    const bool bFound = keyName && IsName(*keyName);
    name = bFound ? *keyName : std::string();
    walk = bFound ? "keys" : "none";
}

}  // namespace

CameraNames ReadCameraNames(int nIndex, iidc_handle hCamera)
{
    CameraNames names{CameraString(nIndex, IIDC_STRING_VENDOR), CameraString(nIndex, IIDC_STRING_MODEL), "interface",
                      "interface"};
    const bool bVendor = IsName(names.vendor);
    const bool bModel = IsName(names.model);
    if (bVendor && bModel)
        return names;
    const iidc_handle hOpened = hCamera ? nullptr : iidc_open(nIndex);
    const iidc_handle hWalk = hCamera ? hCamera : hOpened;
    const vcam::RomIdentity rom = hWalk ? vcam::WalkConfigRom(RomReaderOf(hWalk), vcam::ROM_MAX_BYTES)
                                        : vcam::RomIdentity{};
    if (hOpened)
        iidc_close(hOpened);
    if (!bVendor)
        TakeKeyName(names.vendor, names.vendorWalk, rom.strVendor);
    if (!bModel)
        TakeKeyName(names.model, names.modelWalk, rom.strModel);
    return names;
}

std::vector<uint32_t> ReadRom(iidc_handle hCamera)
{
    const vcam::RomReader read = RomReaderOf(hCamera);
    const uint32_t cbRom = vcam::RomExtent(read, vcam::ROM_MAX_BYTES);
    std::vector<uint32_t> rom;
    uint32_t dwQuadlet = 0;
    for (uint32_t nByte = 0; nByte < cbRom && read(nByte, &dwQuadlet); nByte += 4)
        rom.push_back(dwQuadlet);
    return rom;
}

}  // namespace iidctool
