#include "stats/HttpResponseT.h"

#include <utility>

#include "stats/UploadTransfer.h"

CHttpResponseT::CHttpResponseT(std::shared_ptr<UploadTransfer> transfer) : m_transfer(std::move(transfer)) {}

CHttpResponseT::~CHttpResponseT() = default;

DWORD CHttpResponseT::GetStatus() const {
    return static_cast<DWORD>(m_transfer->Head().Status());
}

std::optional<std::string> CHttpResponseT::GetHeader(std::string_view name, std::size_t index) const {
    return m_transfer->Head().Header(name, index);
}

std::size_t CHttpResponseT::ReadContent(char* buffer, std::size_t size) {
    return m_transfer->ReadBody(buffer, size);
}
