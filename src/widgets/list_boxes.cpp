#include "widgets/list_boxes.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QWidget>
#include <algorithm>

namespace kvn {

namespace {

class WheelGuard final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    // The open list's own view takes the wheel there; what reaches the combo
    // box itself is a scroll over the closed list.
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(watched) != nullptr) {
      event->ignore();
      return true;
    }
    return false;
  }
};

// The window's style, with a closed list's arrow 11 pixels wide instead of 16
// and 2 pixels of margin inside its border instead of 3.
class SlimListStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl part, const QWidget* widget) const override {
    const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (control != CC_ComboBox || box == nullptr || box->editable || !box->frame)
      return QProxyStyle::subControlRect(control, option, part, widget);
    constexpr int kBorder = 2, kArrow = 11;
    const QRect r = box->rect;
    QRect out;
    if (part == SC_ComboBoxArrow)
      out = QRect(r.right() - kBorder - kArrow + 1, r.top() + kBorder, kArrow,
                  r.height() - 2 * kBorder);
    else if (part == SC_ComboBoxEditField)
      out = QRect(r.left() + kBorder, r.top() + kBorder, r.width() - 2 * kBorder - kArrow,
                  r.height() - 2 * kBorder);
    else
      return QProxyStyle::subControlRect(control, option, part, widget);
    return visualRect(box->direction, r, out);
  }
};

// The open list's least width: the widest entry, the view's frame and, when
// not every entry is in view, its scroll bar; never wider than the screen.
void FitOpenList(QComboBox& list) {
  QAbstractItemView* view = list.view();
  const QStyle* style = view->style();
  int width = view->sizeHintForColumn(list.modelColumn()) +
              2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, view);
  if (list.count() > list.maxVisibleItems())
    width += style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view->verticalScrollBar());
  if (const QScreen* screen = list.screen()) width = std::min(width, screen->availableGeometry().width());
  view->setMinimumWidth(std::max(width, 0));
}

}  // namespace

void SetUpLists(QWidget& window) {
  auto* guard = new WheelGuard(&window);
  // The proxy takes the base style it is given; it lives as long as the window.
  auto* style = new SlimListStyle(QStyleFactory::create(window.style()->name()));
  style->setParent(&window);
  for (QComboBox* list : window.findChildren<QComboBox*>()) {
    // Without wheel focus the scroll does not take the focus either.
    list->setFocusPolicy(Qt::StrongFocus);
    list->installEventFilter(guard);
    list->setStyle(style);
    const auto fit = [list] { FitOpenList(*list); };
    QAbstractItemModel* model = list->model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, list, fit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, list, fit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, list, fit);
    QObject::connect(model, &QAbstractItemModel::modelReset, list, fit);
    fit();
  }
}

}  // namespace kvn
