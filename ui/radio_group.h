#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace vq {

// A captioned box of radio items with one item index, as a radio group of a
// desktop form designer: -1 means no item is selected.
class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  // Items are stacked under the caption by a layout.
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

  // The selected item, or -1.
  int ItemIndex() const;
  // Selects `index`: a negative value clears the selection, a value past the
  // last item selects the last one.
  void SetItemIndex(int index);
  // The radio button of item `index`.
  QRadioButton* Item(int index) const { return items_.at(index); }
  // The number of items.
  int Count() const { return static_cast<int>(items_.size()); }

 signals:
  // The user clicked an item.
  void Clicked(int index);

 private:
  QButtonGroup* group_;
  std::vector<QRadioButton*> items_;
};

}  // namespace vq
