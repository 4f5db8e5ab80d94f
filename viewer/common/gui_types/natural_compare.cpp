#include "gui_types/natural_compare.h"

#include <unicode/ucol.h>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace nimbrel {

namespace {

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

using Collator = std::unique_ptr<UCollator, CollatorCloser>;

Collator OpenCollator() {
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open("", &status));  // "": the default locale
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot open the collator: ") + u_errorName(status));
    }
    return collator;
}

}  // namespace

int CompareNatural(std::string_view a, std::string_view b) {
    constexpr std::size_t kLongest = INT32_MAX;
    if (a.size() > kLongest || b.size() > kLongest) {
        return a.compare(b);  // beyond what the collator takes in one call
    }
    // A collator is not safe to share between threads; each thread opens its own once.
    thread_local const Collator collator = OpenCollator();
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) {
        // Only text that is not UTF-8 gets here: its bytes decide.
        return a.compare(b);
    }
    return static_cast<int>(result);
}

}  // namespace nimbrel
