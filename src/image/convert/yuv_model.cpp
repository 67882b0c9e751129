#include "image/convert/yuv_model.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view INTEGER_YUV_MODELS[] = {"MHP-Z610", "MHP-Z 420", "MHP-ZR420", "KQX_RT710"};

}  // namespace

bool IsIntegerYuvModel(const char* pszModel, size_t cchModel)
{
    if (pszModel == nullptr)
        return false;
    for (std::string_view model : INTEGER_YUV_MODELS) {
        // A terminating zero inside the compared length is a mismatch.
        if (cchModel >= model.size() && std::memcmp(pszModel, model.data(), model.size()) == 0)
            return true;
    }
    return false;
}
