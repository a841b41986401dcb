#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vq {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    items_.push_back(button);
    layout->addWidget(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
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

}  // namespace vq
