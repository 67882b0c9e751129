#include "format/tables.h"

#include "registers/offsets.h"

int LowestRateCode(uint32_t rateInquiry)
{
    for (uint32_t k = 0; k < RATE_CODES_SEARCHED; ++k)
        if (rateInquiry & iidc_reg::IIDC_BIT(k))
            return int(k);
    return -1;
}

int HighestRateCode(uint32_t rateInquiry)
{
    for (uint32_t k = RATE_CODES_SEARCHED; k-- > 0;)
        if (rateInquiry & iidc_reg::IIDC_BIT(k))
            return int(k);
    return -1;
}
