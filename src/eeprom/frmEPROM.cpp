#include "eeprom/frmEPROM.h"

#include "ui_frmEPROM.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>

#include "eeprom/frmInput.h"
#include "link/protocol/MemoryMap.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "windowbase/ModalRunner.h"
#include "windowbase/WindowStyle.h"

using texts::Text;

namespace {

// The table: four rows of sixteen bytes under a header row, beside a header
// column. Every column, the header column too, is 400 twips wide.
constexpr int kDataRows = memorymap::kEepromTableRows;
constexpr int kDataColumns = memorymap::kEepromTableColumns;
constexpr int kColumnTwips = 400;
// The height of every row, the header row too.
constexpr int kRowPixels = 20;

QString ColumnHeader(int offset) {
    return u'+' + QString::number(offset, 16).toUpper() + u'h';
}

// " 00h" to " 30h": the leading blank is part of the text.
QString RowHeader(int row) {
    return u' ' + QString::number(row) + QStringLiteral("0h");
}

}  // namespace

frmEPROM::frmEPROM(Services services, QWidget* parent)
    : CentredDialog(parent), ui_(std::make_unique<Ui::frmEPROM>()), services_(services) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    // The close box unloads the window; Close only hides it.
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui_->cmdRefresh, &QPushButton::clicked, this, [this]() { cmdRefresh_Click(); });
    connect(ui_->cmdEraseAll, &QPushButton::clicked, this, [this]() { cmdEraseAll_Click(); });
    connect(ui_->cmdClose, &QPushButton::clicked, this, [this]() { hide(); });
    connect(ui_->Grid1, &QTableWidget::cellDoubleClicked, this, [this]() { OpenCellInEditor(); });
    ui_->Grid1->installEventFilter(this);

    services_.state.EepromViewerActivated = false;
    ui_->Label2->setText(QString());
    LayOutTable();
}

frmEPROM::~frmEPROM() = default;

void frmEPROM::LayOutTable() {
    QTableWidget& grid = *ui_->Grid1;
    grid.setRowCount(kDataRows);
    grid.setColumnCount(kDataColumns);
    const int columnWidth = windowstyle::TwipsToPixels(kColumnTwips);
    // The fixed-pitch font keeps the digits of every column in line; the
    // headers' texts get their whole narrow section (" 00h" with its blank).
    grid.setFont(windowstyle::FixedPitchFont(9));
    grid.setStyleSheet(QStringLiteral("QHeaderView::section { padding: 0px; }"));
    QHeaderView& top = *grid.horizontalHeader();
    QHeaderView& side = *grid.verticalHeader();
    for (QHeaderView* header : {&top, &side}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->setMinimumSectionSize(1);
    }
    top.setDefaultSectionSize(columnWidth);
    top.setFixedHeight(kRowPixels);
    side.setDefaultSectionSize(kRowPixels);
    side.setFixedWidth(columnWidth);
    for (int column = 0; column < kDataColumns; ++column)
        grid.setHorizontalHeaderItem(column, new QTableWidgetItem(ColumnHeader(column)));
    for (int row = 0; row < kDataRows; ++row) {
        grid.setVerticalHeaderItem(row, new QTableWidgetItem(RowHeader(row)));
        for (int column = 0; column < kDataColumns; ++column) {
            auto* item = new QTableWidgetItem(Text(texts::kEepromUnread));
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid.setItem(row, column, item);
        }
    }
    // The whole table in view, without scroll bars.
    const int frame = 2 * grid.frameWidth();
    grid.setFixedSize(frame + columnWidth * (kDataColumns + 1),
                      frame + kRowPixels * (kDataRows + 1));
    grid.setCurrentCell(kDataRows - 1, kDataColumns - 1);
}

int frmEPROM::Row() const {
    return ui_->Grid1->currentRow() + 1;
}

int frmEPROM::Col() const {
    return ui_->Grid1->currentColumn() + 1;
}

void frmEPROM::SetBusy(bool busy) {
    ui_->cmdRefresh->setEnabled(!busy);
    ui_->cmdEraseAll->setEnabled(!busy);
}

void frmEPROM::SetStatusText(const QString& text) {
    ui_->Label2->setText(text);
}

void frmEPROM::SetCell(int address, const QString& text) {
    // By address only: the current cell stays where the user put it.
    if (QTableWidgetItem* item = ui_->Grid1->item(address / kDataColumns, address % kDataColumns))
        item->setText(text);
}

bool frmEPROM::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return handled;
}

void frmEPROM::Form_Activate() {
    // Once per opening from the main window; later activations (back from
    // the byte editor, from another window) do not read again.
    AppState& state = services_.state;
    if (state.EepromViewerActivated) return;
    state.EepromViewerActivated = true;
    JobEnv env{services_.device, services_.host, state};
    ReadEeprom(env, *this);
}

void frmEPROM::cmdRefresh_Click() {
    JobEnv env{services_.device, services_.host, services_.state};
    ReadEeprom(env, *this);
}

void frmEPROM::cmdEraseAll_Click() {
    JobEnv env{services_.device, services_.host, services_.state};
    EraseEeprom(env, *this);
}

bool frmEPROM::eventFilter(QObject* watched, QEvent* event) {
    // Enter on the table opens the current cell, as a double-click does;
    // other keys move about the table as usual.
    if (watched == ui_->Grid1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OpenCellInEditor();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmEPROM::keyPressEvent(QKeyEvent* event) {
    // No button of the viewer answers Esc.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmEPROM::OpenCellInEditor() {
    // Refresh is enabled exactly when no exchange runs.
    if (!ui_->cmdRefresh->isEnabled()) return;
    AppState& state = services_.state;
    const QTableWidgetItem* cell = ui_->Grid1->currentItem();
    state.EepromCellText = cell ? cell->text() : QString();
    {
        frmInput editor(
            frmInput::Services{services_.clock, services_.device, services_.host, state}, Row(),
            Col(), this);
        if (editor.Loaded()) services_.runner.RunModal(editor);
    }
    if (state.EepromWritten) cmdRefresh_Click();
}

void frmEPROM::closeEvent(QCloseEvent* event) {
    // The close box: the window is unloaded (deleted once the event is
    // over), not hidden.
    event->accept();
    Q_EMIT unloaded();
}
