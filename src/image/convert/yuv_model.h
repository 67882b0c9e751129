// Which YUV formula a camera gets, from its model name.
#pragma once

#include <cstddef>

// True when the model name begins with one of the names of the models that
// take the integer approximation ("MHP-Z610", "MHP-Z 420", "MHP-ZR420",
// "KQX_RT710"); only that many characters are compared, so longer names
// match and a name that is only a leading part of one does not. At most
// cchModel bytes of pszModel are read, terminated or not. A null or empty
// name gives false: the floating-point formula.
bool IsIntegerYuvModel(const char* pszModel, size_t cchModel);
