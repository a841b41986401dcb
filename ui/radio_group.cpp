#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace vq {

namespace {
constexpr int kCaptionHeight = 15;
constexpr int kItemMargin = 8;
}  // namespace

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), FGroup(new QButtonGroup(this)) {
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    FGroup->addButton(button, i);
    FItems.push_back(button);
  }
  connect(FGroup, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
  PlaceItems();
}

int TRadioGroup::ItemIndex() const { return FGroup->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (FItems.empty()) return;
  if (index >= Count()) index = Count() - 1;
  if (index < 0) {
    // An exclusive group keeps one button checked; lift that for the clear.
    FGroup->setExclusive(false);
    for (QRadioButton* button : FItems) button->setChecked(false);
    FGroup->setExclusive(true);
    return;
  }
  FItems[index]->setChecked(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  PlaceItems();
}

void TRadioGroup::PlaceItems() {
  if (FItems.empty()) return;
  const int itemHeight = (height() - kCaptionHeight - 4) / Count();
  for (int i = 0; i < Count(); ++i) {
    FItems[i]->setGeometry(kItemMargin, kCaptionHeight + i * itemHeight, width() - 2 * kItemMargin, itemHeight);
  }
}

}  // namespace vq
