#include "streaming/xml_base_io.h"

#include <exception>

#include "rtl/exceptions.h"
#include "streaming/stream_error.h"

namespace nimbrel {

TXMLBaseIO::TXMLBaseIO(TMemoryStream& AStream) : FStream(AStream) {
    Reset();
}

TXMLBaseIO::~TXMLBaseIO() noexcept(false) {
    if (!FSavePointList.empty() && std::uncaught_exceptions() == 0) {
        throw EStreamError("Non-empty XML stack");
    }
}

void TXMLBaseIO::Rollback() {
    NIMBREL_ASSERT(!FSavePointList.empty());
    FCurrNode = FSavePointList.back();
    FSavePointList.pop_back();
}

bool TXMLBaseIO::IsBasedOnVolatileStream() const {
    return dynamic_cast<const TBytesStream*>(&FStream) != nullptr;
}

void TXMLBaseIO::Reset() {
    FXMLDoc.reset();
    FRootNode = FXMLDoc.append_child("root");
    FCurrNode = FRootNode;
}

}  // namespace nimbrel
