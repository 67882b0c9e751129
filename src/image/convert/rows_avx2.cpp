// placeholder
#include "image/convert/convert_rows.h"
const CONVERT_ROWS* Avx2Rows() { return nullptr; }
