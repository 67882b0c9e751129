#include "format_selection.h"

#include <fmt/format.h>

#include <cmath>

#include "error.h"
#include "names.h"
#include "registers/offsets.h"
#include "session.h"

namespace iidccam {

void SelectStandardFormat(const CCameraSession& camera, uint32_t id, float fRate)
{
    const iidc_handle h = camera.Handle();
    if (!iidc_setformat(h, id))
        camera.Fail(fmt::format("selecting format {}", FormatIdText(id)));
    const float fCurrent = iidc_currentframerate(h);
    if (fRate > 0 && std::fabs(fCurrent - fRate) > fRate / 100 && iidc_setframerate(h, fRate) == 0.0f)
        camera.Fail(fmt::format("setting {:g} frames per second", fRate));
}

void SelectFormat7(const CCameraSession& camera, uint32_t id, const std::optional<iidc_area>& area)
{
    using namespace iidc_reg;
    const iidc_handle h = camera.Handle();
    const uint32_t dwMode = uint32_t(IIDC_FORMATID_MODE(id));
    const int nColor = IIDC_FORMATID_COLOR(id);
    auto write = [&](uint32_t dwOffset, uint32_t dwValue) {
        if (iidc1394_asyncwritequadlet(h, dwOffset, &dwValue, 4) != 4)
            camera.Fail(fmt::format("writing register 0x{:X}", dwOffset));
    };
    write(CUR_V_FORMAT, uint32_t(IIDC_FORMAT_SCALABLE) << 29);
    write(CUR_V_MODE, dwMode << 29);
    uint32_t dwBlock = 0;
    if (iidc1394_asyncreadquadlet(h, V_CSR_INQ_7(dwMode), &dwBlock, 4) != 4)
        camera.Fail("reading the Format 7 registers");
    write(CsrOffset(dwBlock) + F7_COLOR_CODING_ID, uint32_t(nColor) << 24);
    const uint32_t current = iidc_currentformat(h);
    if (IIDC_FORMATID_FORMAT(current) != IIDC_FORMAT_SCALABLE || IIDC_FORMATID_MODE(current) != int(dwMode)
        || IIDC_FORMATID_COLOR(current) != nColor)
        throw CCameraError(CCameraError::Kind::Settings, fmt::format("camera {} did not take format {} in {}",
                                                                     camera.Index(), FormatIdText(id), ColorName(nColor)));
    iidc_area wanted{};
    if (area)
        wanted = *area;
    else if (!iidc_currentarea(h, &wanted, sizeof wanted))
        camera.Fail("reading the current image area");
    if (!iidc_setarea(h, &wanted, sizeof wanted))
        camera.Fail(fmt::format("setting the area {}", AreaText(wanted)));
}

}  // namespace iidccam
