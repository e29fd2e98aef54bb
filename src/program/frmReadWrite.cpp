#include "program/frmReadWrite.h"

#include "ui_frmReadWrite.h"

#include <QStringList>

#include "config/frmConfig.h"
#include "eeprom/EepromJobs.h"
#include "link/WriterLink.h"
#include "link/protocol/Protocol.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "windowbase/ModalRunner.h"
#include "windowbase/WindowStyle.h"

using texts::Text;
using texts::TwoLines;

namespace {

// Passes everything on to the program's Host but a job's success message,
// which it keeps: the dialog tells of success once everything after the
// write has succeeded as well, and never after a failure.
class HeldSuccessHost final : public Host {
  public:
    explicit HeldSuccessHost(Host& inner) : inner_(inner) {}
    void Sleep(int ms) override { inner_.Sleep(ms); }
    void ProcessEvents() override { inner_.ProcessEvents(); }
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        if (icon != MsgIcon::Information || buttons != MsgButtons::Ok)
            return inner_.MessageBox(text, caption, icon, buttons);
        held << text;
        return MsgAnswer::Ok;
    }
    std::optional<QString> AskSaveFileName(const QString& proposedPath) override {
        return inner_.AskSaveFileName(proposedPath);
    }
    QStringList held;

  private:
    Host& inner_;
};

// The view with a line of its own above the job's progress.
class HeadedView final : public ProgressView {
  public:
    HeadedView(ProgressView& inner, QString head) : inner_(inner), head_(std::move(head)) {}
    void SetStatusText(const QString& text) override {
        inner_.SetStatusText(head_ + Text(texts::kCrLf) + text);
    }
    void SetProgress(int done, int total) override { inner_.SetProgress(done, total); }

  private:
    ProgressView& inner_;
    QString head_;
};

QString Hex(int value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// What a verify that found differences tells: the first of them.
QString MismatchText(const ProgramVerifyResult& verify) {
    QString first;
    if (!verify.words.empty()) {
        const WordDifference& word = verify.words.front();
        first = Text(texts::kVerifyFirstWord)
                    .arg(Hex(word.address, 4), Hex(word.file, 4), Hex(word.chip, 4));
    } else if (verify.configBits) {
        first = Text(texts::kVerifyConfigBits)
                    .arg(Hex(verify.configBits->file, 2), Hex(verify.configBits->chip, 2));
    }
    return TwoLines(Text(texts::kVerifyMismatch) + Text(texts::kCrLf) + first, texts::kTryAgain);
}

}  // namespace

frmReadWrite::frmReadWrite(Services services, QWidget* parent)
    : CentredDialog(parent),
      ui_(std::make_unique<Ui::frmReadWrite>()),
      services_(std::move(services)) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    ui_->Label1->setFont(windowstyle::FixedPitchFont(9.75));
    connect(ui_->cmdOK, &QPushButton::clicked, this, [this]() { cmdOK_Click(); });
    connect(ui_->cmdCancel, &QPushButton::clicked, this, [this]() { reject(); });
    showTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, [this]() { ShowNow(); });
}

frmReadWrite::~frmReadWrite() = default;

void frmReadWrite::SetOperation(Operation operation, const QString& hexFile) {
    operation_ = operation;
    hexFile_ = hexFile;
    setWindowTitle(Text(operation == Operation::Write  ? texts::kModeWrite
                        : operation == Operation::Read ? texts::kModeRead
                                                       : texts::kModeErase));
}

void frmReadWrite::SetQuestion(const QString& text) {
    // A line wider than the label (the write's HEX path) is shortened in its
    // middle rather than wrapped, so the question stays above the buttons;
    // the tooltip then tells it whole.
    QLabel& label = *ui_->Label1;
    const QString whole = windowstyle::ForDisplay(text);
    QStringList lines = whole.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = windowstyle::ElidedPath(label.fontMetrics(), line, label.contentsRect().width());
    const QString shown = lines.join(QLatin1Char('\n'));
    label.setText(shown);
    label.setToolTip(shown == whole ? QString() : whole);
}

void frmReadWrite::SetStatusText(const QString& text) {
    pendingText_ = text;
    // A text between two words of the count can wait; any other is news.
    if (inCount_)
        ShowSoon();
    else
        ShowNow();
}

void frmReadWrite::SetProgress(int done, int total) {
    pendingProgress_ = std::pair{done, total};
    const bool counting = total > 0 && done > 0 && done < total;
    if (counting && inCount_) {
        ShowSoon();
    } else {
        ShowNow();
        inCount_ = counting;
    }
}

void frmReadWrite::ShowSoon() {
    if (!sinceShown_.isValid() || sinceShown_.elapsed() >= kRepaintIntervalMs) {
        ShowNow();
    } else if (!showTimer_.isActive()) {
        showTimer_.start(static_cast<int>(kRepaintIntervalMs - sinceShown_.elapsed()));
    }
}

void frmReadWrite::ShowNow() {
    showTimer_.stop();
    sinceShown_.start();
    if (pendingText_) {
        ui_->Label1->setText(windowstyle::ForDisplay(*pendingText_));
        ui_->Label1->setToolTip(QString());
        pendingText_.reset();
    }
    if (pendingProgress_) {
        const auto [done, total] = *pendingProgress_;
        if (total <= 0) {
            ui_->ProgressBar1->setRange(0, 0);  // how much is to come is not known yet
        } else {
            ui_->ProgressBar1->setRange(0, total);
            ui_->ProgressBar1->setValue(std::min(done, total));
        }
        ui_->ProgressBar1->setVisible(true);
        pendingProgress_.reset();
    }
}

void frmReadWrite::PrepareCheck(const QString& text) {
    ui_->cmdCancel->setEnabled(false);
    ui_->cmdOK->setEnabled(false);
    ui_->Label1->setText(text);
    ui_->Label1->setToolTip(QString());
}

void frmReadWrite::cmdOK_Click() {
    ui_->cmdCancel->setEnabled(false);
    ui_->cmdOK->setEnabled(false);
    busy_ = true;
    RunOperation();
    ShowNow();
    inCount_ = false;
    busy_ = false;
    done(QDialog::Accepted);
}

void frmReadWrite::RunOperation() {
    if (!operation_) return;
    AppState& state = services_.state;
    Host& host = services_.host;
    JobEnv env{services_.device, host, state};
    switch (*operation_) {
        case Operation::Write: {
            // Read once: the word shown in the settings dialog and the words
            // written come from the same bytes.
            const hexprogram::FileText file = hexprogram::ReadFile(hexFile_);
            LoadHexConfigWord(host, state, file);
            state.ProceedToWrite = 0;
            {
                frmConfig config(state, this);
                services_.runner.RunModal(config);
            }
            if (state.ProceedToWrite != 0) WriteAndCheck(env, file);
            break;
        }
        case Operation::Read:
            host.Sleep(pauses::kBeforeOperationMs);
            ReadPrgComm(env, *this);
            break;
        case Operation::Erase:
            host.Sleep(pauses::kBeforeOperationMs);
            ErasePrgComm(env);
            break;
    }
}

void frmReadWrite::WriteAndCheck(JobEnv& env, const hexprogram::FileText& file) {
    JobOutcome checked = JobOutcome::Done;
    const std::optional<hexprogram::WritePlan> plan = CheckHexFile(env.host, file, &checked);
    if (!plan) return;
    HeldSuccessHost held(env.host);
    JobEnv heldEnv{env.device, held, env.state};
    if (WritePrgComm(heldEnv, *plan, *this) != JobOutcome::Done) return;
    QStringList lines = held.held;
    if (writeOptions_.verify) {
        HeadedView view(*this, Text(texts::kVerifying));
        const ProgramVerifyResult verify = VerifyProgram(env, *plan, view);
        if (verify.outcome == JobOutcome::Mismatch) {
            env.host.MessageBox(MismatchText(verify), Text(texts::kCaptionError),
                                MsgIcon::Critical);
            return;
        }
        if (verify.outcome != JobOutcome::Done) return;  // the read-out has told why
        lines << Text(texts::kVerifyDone);
    }
    const EepromPart& eeprom = plan->eeprom;
    if (!eeprom.empty() && !writeOptions_.hexEeprom) {
        lines << Text(texts::kHexEepromNotWritten).arg(eeprom.count());
    } else if (!eeprom.empty()) {
        // Written after the program, and read back in the same session when
        // the write is verified.
        HeadedView view(*this, Text(texts::kWritingHexEeprom));
        EepromRead readBack;
        if (WriteEepromPart(env, eeprom, view, writeOptions_.verify ? &readBack : nullptr) !=
            JobOutcome::Done)
            return;  // told why
        if (writeOptions_.verify) {
            const EepromVerifyResult verify = CompareEeprom(readBack, eeprom);
            if (verify.outcome == JobOutcome::Mismatch) {
                const ByteDifference& first = verify.bytes.front();
                env.host.MessageBox(TwoLines(Text(texts::kVerifyMismatch) + Text(texts::kCrLf) +
                                                 Text(texts::kVerifyEepromByte)
                                                     .arg(Hex(first.address, 2), Hex(first.file, 2),
                                                          Hex(first.chip, 2)),
                                             texts::kTryAgain),
                                    Text(texts::kCaptionError), MsgIcon::Critical);
                return;
            }
            if (verify.outcome != JobOutcome::Done) {
                ReportWriterError(env.host, kWriterLinkFailed);  // the read came back short
                return;
            }
        }
        lines << Text(texts::kHexEepromWritten).arg(eeprom.count());
    }
    env.host.MessageBox(lines.join(Text(texts::kCrLf)), Text(texts::kAppTitle),
                        MsgIcon::Information);
}

void frmReadWrite::done(int result) {
    // An operation that runs keeps the dialog open until it returns: its
    // pauses let window events through, the close box among them.
    if (busy_) return;
    if (services_.state.StartupCheckState == startupcheck::kRunning) endProgramRequested_ = true;
    QDialog::done(result);
}
