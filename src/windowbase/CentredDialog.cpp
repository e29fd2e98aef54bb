#include "windowbase/CentredDialog.h"

#include <QShowEvent>

#include "windowbase/WindowStyle.h"

void CentredDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_) return;
    placed_ = true;
    PlaceWhenFirstShown();
}

void CentredDialog::PlaceWhenFirstShown() {
    windowstyle::CentreOnScreen(*this);
}
