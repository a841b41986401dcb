#include "base/collator.h"

#include <unicode/ucol.h>

#include "base/error.h"

namespace vq {

void TCollator::Close::operator()(UCollator* c) const { ucol_close(c); }

TCollator::TCollator() {
  UErrorCode status = U_ZERO_ERROR;
  collator_.reset(ucol_open("", &status));
  if (U_FAILURE(status) || !collator_) throw Error(std::string("collation: ") + u_errorName(status));
  ucol_setStrength(collator_.get(), UCOL_SECONDARY);
}

TCollator::~TCollator() = default;

int TCollator::Compare(std::u16string_view a, std::u16string_view b) const {
  const UCollationResult r = ucol_strcoll(collator_.get(), reinterpret_cast<const UChar*>(a.data()),
                                          static_cast<int32_t>(a.size()), reinterpret_cast<const UChar*>(b.data()),
                                          static_cast<int32_t>(b.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

bool TCollator::Less(std::u16string_view a, std::u16string_view b) const {
  const int c = Compare(a, b);
  return c != 0 ? c < 0 : a < b;
}

}  // namespace vq
