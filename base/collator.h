#pragma once

#include <memory>
#include <string_view>

struct UCollator;

namespace vq {

// Orders texts the way people read lists: by the Unicode root collation,
// ignoring letter case (accents still count). Used for the lists that the
// job sorts "locale-aware, ignoring case". Not thread-safe; one per thread.
class TCollator {
 public:
  // Throws vq::Error when ICU cannot open the collation.
  TCollator();
  ~TCollator();
  TCollator(const TCollator&) = delete;
  TCollator& operator=(const TCollator&) = delete;

  // Negative, zero or positive; zero for texts equal ignoring case.
  int Compare(std::u16string_view a, std::u16string_view b) const;
  // A total order: Compare, then the code units, so equal-ignoring-case
  // texts still sort the same way every time.
  bool Less(std::u16string_view a, std::u16string_view b) const;

 private:
  struct Close {
    void operator()(UCollator* c) const;
  };
  std::unique_ptr<UCollator, Close> collator_;
};

}  // namespace vq
