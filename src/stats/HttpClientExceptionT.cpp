#include "stats/HttpClientExceptionT.h"

CHttpClientExceptionT::CHttpClientExceptionT(Code code, const std::string& message, int osError)
    : std::runtime_error(message), m_code(code), m_osError(osError) {}
