// The EEPROM viewer and its byte editor, opened from the main window, on the
// simulated Writer and the virtual clock.
#include <gtest/gtest.h>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTest>

#include "GuiRig.h"
#include "eeprom/frmEPROM.h"
#include "eeprom/frmInput.h"

namespace {

// The main window shown and active, the start-up forgotten.
struct ViewerRig : GuiRig {
    explicit ViewerRig(FaultPlan faults = {}) : GuiRig(std::move(faults)) {
        form = Start();
        form->show();
        Activate(*form);
        Forget();
        auto& eeprom = sim.device->firmware().chip().eeprom;
        for (int a = 0; a < 64; ++a) eeprom[a] = static_cast<uint8_t>(a * 3 + 1);
    }
    void Forget() {
        sim.host.messages.clear();
        sim.trace.clear();
    }
    frmEPROM* Open() {
        Click(*form, "EPROMCommand1");
        Settle();
        return VisibleWindow<frmEPROM>("frmEPROM");
    }
    int Reads() const { return static_cast<int>(sim.Wire().count(QStringLiteral("w 58"))); }
    std::unique_ptr<frmInput> Editor(int row, int column) {
        auto editor = std::make_unique<frmInput>(
            frmInput::Services{sim.clock, *sim.device, host, sim.state}, row, column);
        editor->show();
        return editor;
    }
    std::unique_ptr<FormMain> form;
};

QTableWidget& GridOf(QWidget& viewer) {
    return *Find<QTableWidget>(viewer, "Grid1");
}

QString Cell(QWidget& viewer, int address) {
    return GridOf(viewer).item(address / 16, address % 16)->text();
}

// As the window system delivers it: a click, then the second press as a
// double-click, and its release.
void DoubleClickCell(QWidget& viewer, int address) {
    QTableWidget& grid = GridOf(viewer);
    const QPoint at = grid.visualItemRect(grid.item(address / 16, address % 16)).center();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QString Hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

TEST(EepromViewer, AFreshTableReadOnceOnOpeningTheCurrentCellKept) {
    ViewerRig rig;
    rig.sim.device->firmware().chip().eeprom[0x3F] = 0x0A;
    // The table as laid out, before the first activation reads it.
    frmEPROM fresh(
        frmEPROM::Services{rig.sim.clock, *rig.sim.device, rig.host, rig.sim.state, rig.runner});
    QTableWidget& grid = GridOf(fresh);
    ASSERT_EQ(grid.rowCount() * grid.columnCount(), 64);
    EXPECT_EQ(grid.horizontalHeaderItem(0)->text(), QStringLiteral("+0h"));
    EXPECT_EQ(grid.horizontalHeaderItem(10)->text(), QStringLiteral("+Ah"));
    EXPECT_EQ(grid.horizontalHeaderItem(15)->text(), QStringLiteral("+Fh"));
    EXPECT_EQ(grid.verticalHeaderItem(0)->text(), QStringLiteral(" 00h"));
    EXPECT_EQ(grid.verticalHeaderItem(3)->text(), QStringLiteral(" 30h"));
    EXPECT_EQ(grid.verticalHeader()->width(), 27);  // 400 twips, as every column
    for (int a = 0; a < 64; ++a) {
        const QTableWidgetItem* item = grid.item(a / 16, a % 16);
        EXPECT_EQ(item->text(), QStringLiteral("*")) << a;
        EXPECT_EQ(item->textAlignment(), Qt::AlignCenter) << a;
        EXPECT_EQ(grid.columnWidth(a % 16), 27) << a;
        EXPECT_TRUE(grid.viewport()->rect().contains(grid.visualItemRect(item))) << a;
    }
    EXPECT_EQ(fresh.Row() * 100 + fresh.Col(), 416);  // row 4, column 16
    EXPECT_TRUE(rig.sim.trace.isEmpty());

    // Opened from the main window: one read fills all 64 cells.
    frmEPROM* viewer = rig.Open();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(rig.Reads(), 1);
    for (int a = 0; a < 63; ++a) EXPECT_EQ(Cell(*viewer, a), Hex2(a * 3 + 1)) << a;
    EXPECT_EQ(Cell(*viewer, 63), QStringLiteral("0A"));
    EXPECT_EQ(Find<QLabel>(*viewer, "Label2")->text(), QString());
    EXPECT_EQ(viewer->Row() * 100 + viewer->Col(), 416);
    // Refresh reads again; the cell the user picked stays picked.
    GridOf(*viewer).setCurrentCell(1, 2);
    Click(*viewer, "cmdRefresh");
    EXPECT_EQ(rig.Reads(), 2);
    EXPECT_EQ(viewer->Row() * 100 + viewer->Col(), 203);
    // Back and forth between the windows: no read. The main window's
    // command brings the same viewer to the front and reads once more.
    Activate(*rig.form);
    Activate(*viewer);
    EXPECT_EQ(rig.Reads(), 2);
    Activate(*rig.form);
    Find<QAction>(*rig.form, "menu_memory_m")->trigger();
    Settle();
    EXPECT_EQ(VisibleWindow<frmEPROM>("frmEPROM"), viewer);
    EXPECT_EQ(rig.Reads(), 3);
    EXPECT_TRUE(rig.sim.host.messages.empty());
}

TEST(EepromViewer, CloseHidesItAndTheCloseBoxUnloadsIt) {
    // Board 1 is missing: reads with it fail and leave the table as it was.
    FaultPlan faults;
    faults.boardMissing[1] = true;
    ViewerRig rig(faults);
    QPointer<frmEPROM> viewer = rig.Open();
    ASSERT_TRUE(viewer);
    GridOf(*viewer).setCurrentCell(0, 0);
    Click(*viewer, "cmdClose");
    Settle();
    ASSERT_TRUE(viewer);
    EXPECT_FALSE(viewer->isVisible());

    Find<QAction>(*rig.form, "munQLARK")->trigger();
    Activate(*rig.form);
    EXPECT_EQ(rig.Open(), viewer.data());  // the same window, shown and read again
    EXPECT_EQ(rig.Reads(), 2);
    EXPECT_EQ(Cell(*viewer, 0), QStringLiteral("01"));
    EXPECT_EQ(viewer->Row() * 100 + viewer->Col(), 101);

    viewer->close();  // the close box
    Settle();
    EXPECT_FALSE(viewer);
    Activate(*rig.form);
    frmEPROM* fresh = rig.Open();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(rig.Reads(), 3);
    EXPECT_EQ(Cell(*fresh, 0), QStringLiteral("*"));
    EXPECT_EQ(fresh->Row() * 100 + fresh->Col(), 416);
}

TEST(EepromViewer, EnterOpensTheCurrentCellOnlyWhileIdle) {
    ViewerRig rig;
    rig.sim.device->firmware().chip().eeprom[0x3F] = 0x0A;
    frmEPROM* viewer = rig.Open();
    ASSERT_NE(viewer, nullptr);
    rig.Forget();
    QStringList seen;
    rig.runner.scripts[QStringLiteral("frmInput")] = [&](QDialog& d) {
        QLineEdit* data = Find<QLineEdit>(d, "Data1");
        seen << Find<QLabel>(d, "Label1")->text() + u' ' + data->selectedText();
        QTest::keyClick(data, Qt::Key_Escape);
        EXPECT_FALSE(d.isVisible());
    };
    // Right after the opening the current cell is the last, address 0x3F.
    QTest::keyClick(&GridOf(*viewer), Qt::Key_Return);
    QTest::keyClick(&GridOf(*viewer), Qt::Key_Up);
    QTest::keyClick(&GridOf(*viewer), Qt::Key_Enter);
    EXPECT_EQ(seen, QStringList({"Add 3F 0A", "Add 2F 8E"}));
    EXPECT_TRUE(rig.sim.trace.isEmpty());  // Esc wrote nothing: no read follows

    // While DATA Clear asks its question the viewer is busy: neither Enter
    // nor a double-click opens the editor.
    bool busy = false;
    rig.host.onMessage = [&]() {
        busy = !Find<QPushButton>(*viewer, "cmdRefresh")->isEnabled();
        QTest::keyClick(&GridOf(*viewer), Qt::Key_Return);
        DoubleClickCell(*viewer, 5);
    };
    rig.sim.host.answers.push_back(MsgAnswer::No);
    Click(*viewer, "cmdEraseAll");
    rig.host.onMessage = nullptr;
    EXPECT_TRUE(busy);
    EXPECT_EQ(seen.size(), 2);
    DoubleClickCell(*viewer, 5);  // idle again
    EXPECT_EQ(seen.back(), QStringLiteral("Add 5 10"));
}

TEST(ByteEditor, InputChecksSpeakInOrderAndSendNothing) {
    const QString length = QString::fromUtf8("１バイトのデータを入力してください");
    const QString form = QString::fromUtf8("データの値が正しくありません");
    const QString range = QString::fromUtf8("データの値が有効範囲を超えています");
    struct Case {
        const char* text;
        QStringList messages;  // none: the byte is written
    } const cases[] = {
        {"100", {length, range}}, {"", {length, form}}, {"*", {form}}, {"G1", {form}}, {"1G", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ViewerRig rig;
        auto editor = rig.Editor(1, 1);
        Find<QLineEdit>(*editor, "Data1")->setText(QString::fromLatin1(c.text));
        QStringList whileAsking;
        rig.host.onMessage = [&]() {
            whileAsking << Find<QLabel>(*editor, "Label3")->text() +
                               (Find<QPushButton>(*editor, "cmdClose")->isEnabled() ? "+" : "");
        };
        Click(*editor, "cmdWrite");
        EXPECT_EQ(rig.MessageTexts(), c.messages);
        for (const auto& m : rig.sim.host.messages) {
            EXPECT_EQ(m.caption, QString::fromUtf8("Q-LARK USBライタ"));
            EXPECT_EQ(m.icon, MsgIcon::None);
        }
        EXPECT_EQ(whileAsking, QStringList(c.messages.size(), QString::fromUtf8("書込み中")));
        if (c.messages.isEmpty()) {  // "1G" is 0x01
            EXPECT_EQ(rig.sim.device->firmware().chip().eeprom[0], 0x01);
            continue;
        }
        EXPECT_TRUE(rig.sim.trace.isEmpty());
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(Find<QLabel>(*editor, "Label3")->text(), QString());
        EXPECT_TRUE(Find<QPushButton>(*editor, "cmdWrite")->isEnabled());
    }
}

TEST(ByteEditor, A5AtAddress0x12ClosesHalfASecondLaterAndTheViewerReadsAgain) {
    ViewerRig rig;
    frmEPROM* viewer = rig.Open();
    ASSERT_NE(viewer, nullptr);
    rig.Forget();
    int64_t writtenAt = -1;
    int64_t closedAt = -1;
    rig.runner.scripts[QStringLiteral("frmInput")] = [&](QDialog& d) {
        // The handshake lets events through too; the pause follows the byte.
        rig.host.onEvents = [&]() {
            if (writtenAt < 0 && rig.sim.Wire().contains(QStringLiteral("w 81 A5")))
                writtenAt = rig.sim.clock.NowMs();
        };
        QObject::connect(&d, &QDialog::finished, [&]() { closedAt = rig.sim.clock.NowMs(); });
        QLineEdit* data = Find<QLineEdit>(d, "Data1");
        data->setText(QStringLiteral("A5"));
        QTest::keyClick(data, Qt::Key_Return);  // only moves on to Write
        EXPECT_TRUE(rig.sim.trace.isEmpty());
        QTest::keyClick(Find<QPushButton>(d, "cmdWrite"), Qt::Key_Return);
        rig.host.onEvents = nullptr;
    };
    DoubleClickCell(*viewer, 0x12);
    ASSERT_EQ(rig.runner.shown, QStringList({"frmInput"}));
    const QStringList wire = rig.sim.Wire();
    ASSERT_GE(wire.size(), 11);
    EXPECT_EQ(wire.mid(2, 6), QStringList({"w 56", "r 76", "w 92", "r 76", "w 81 A5", "r 61"}));
    EXPECT_EQ(wire[10], QStringLiteral("w 58"));  // the viewer reads again
    EXPECT_EQ(Cell(*viewer, 0x12), QStringLiteral("A5"));
    EXPECT_GE(closedAt - writtenAt, 500);
    EXPECT_LT(closedAt - writtenAt, 520);
}

TEST(ByteEditor, ClosingDuringThePauseWaitsForTheTimer) {
    ViewerRig rig;
    auto editor = rig.Editor(1, 1);
    QLineEdit* data = Find<QLineEdit>(*editor, "Data1");
    data->setText(QStringLiteral("7f"));
    int rounds = 0;
    int finished = 0;
    bool openAfterCloseRequests = false;
    QObject::connect(editor.get(), &QDialog::finished, [&]() { ++finished; });
    rig.host.onEvents = [&]() {
        if (++rounds != 3) return;  // mid-pause: Esc in the box, on Close, the close box
        QTest::keyClick(data, Qt::Key_Escape);
        QTest::keyClick(Find<QPushButton>(*editor, "cmdClose"), Qt::Key_Escape);
        editor->close();
        openAfterCloseRequests = editor->isVisible();
    };
    const int64_t start = rig.sim.clock.NowMs();
    Click(*editor, "cmdWrite");
    EXPECT_TRUE(openAfterCloseRequests);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(finished, 1);
    EXPECT_GE(rig.sim.clock.NowMs() - start, 500);
    EXPECT_EQ(rig.sim.device->firmware().chip().eeprom[0], 0x7F);
}

TEST(ByteEditor, AWriterNotReachedKeepsTheEditorAFailedExchangeClosesIt) {
    FaultPlan unplugged;
    unplugged.openFails = true;
    FaultPlan noBoard;
    noBoard.boardMissing[2] = true;
    FaultPlan wrongAddressReply;
    wrongAddressReply.replaceByte[3] = 'x';  // 'a', 'v', then 'x' for the address
    struct Case {
        const char* what;
        FaultPlan faults;
        bool stays;
        bool written;
    } const cases[] = {
        {"unplugged", unplugged, true, false},
        {"no board", noBoard, false, false},
        {"'x' to the address", wrongAddressReply, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuiRig rig(c.faults);
        frmInput editor(frmInput::Services{rig.sim.clock, *rig.sim.device, rig.host, rig.sim.state},
                        2, 3);
        editor.show();
        Find<QLineEdit>(editor, "Data1")->setText(QStringLiteral("A5"));
        Click(editor, "cmdWrite");
        EXPECT_EQ(editor.isVisible(), c.stays);
        EXPECT_EQ(rig.sim.host.messages.size(), 1u);
        EXPECT_EQ(rig.sim.state.EepromWritten, c.written);
        EXPECT_TRUE(Find<QPushButton>(editor, "cmdWrite")->isEnabled());
    }
    // A cell that is no data cell: the editor closes as it loads.
    GuiRig rig;
    EXPECT_FALSE(
        frmInput(frmInput::Services{rig.sim.clock, *rig.sim.device, rig.host, rig.sim.state}, 0, 1)
            .Loaded());
}

}  // namespace
