#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace vq {

namespace {
constexpr int kCaptionHeight = 15;
constexpr int kItemMargin = 8;
}  // namespace

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    items_.push_back(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
  PlaceItems();
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (items_.empty()) return;
  if (index >= Count()) index = Count() - 1;
  if (index < 0) {
    // An exclusive group keeps one button checked; lift that for the clear.
    group_->setExclusive(false);
    for (QRadioButton* button : items_) button->setChecked(false);
    group_->setExclusive(true);
    return;
  }
  items_[index]->setChecked(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  PlaceItems();
}

void TRadioGroup::PlaceItems() {
  if (items_.empty()) return;
  const int itemHeight = (height() - kCaptionHeight - 4) / Count();
  for (int i = 0; i < Count(); ++i) {
    items_[i]->setGeometry(kItemMargin, kCaptionHeight + i * itemHeight, width() - 2 * kItemMargin, itemHeight);
  }
}

}  // namespace vq
