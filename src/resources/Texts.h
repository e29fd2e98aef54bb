#pragma once

// Every text the user sees, in one place. The sources are UTF-8; QStrings are
// made with Text(). Two-line messages are joined with CR LF (kCrLf).

#include <QString>

namespace texts {

inline QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline constexpr char kCrLf[] = "\r\n";

// A two-line message: `first`, CR LF, `second`.
inline QString TwoLines(const QString& first, const char* second) {
    return first + Text(kCrLf) + Text(second);
}
inline QString TwoLines(const char* first, const char* second) {
    return TwoLines(Text(first), second);
}

// Program-wide
inline constexpr char kAppTitle[] = "Q-LARK USBライタ";
inline constexpr char kCaptionError[] = "エラーが発生しました";
inline constexpr char kCaptionFileError[] = "ファイルエラー";

// Writer link
inline constexpr char kCheckUsbConnection[] = "USBライタの接続を確認してください";
inline constexpr char kNoBoardLine1[] = "Ｑ－ＬＡＲＫマイコンボードからの応答がありません。";
inline constexpr char kNoBoardLine2[] = "ロボットの電源、使用コネクタの設定を確認してください。";
inline constexpr char kLinkFailedLine1[] = "ライタとの通信に失敗しました。";
inline constexpr char kLinkFailedLine2[] = "接続を確認をしてからもう一度操作してください。";
// The Writer is plugged in, but this user may not open it.
inline constexpr char kNoPermissionLine1[] = "USBライタを開く権限がありません。";
inline constexpr char kNoPermissionLine2[] =
    "udevルール 70-qlark-writer.rules を入れるか、dialoutグループに入ってから、"
    "USBライタを差し直してください。";
// The desktop program's line under them: where the manual tells more.
inline constexpr char kNoPermissionManual[] =
    "くわしくは、ヘルプのマニュアル「USBライタを開けないとき」を見てください。";
inline constexpr char kNoPermissionLine3[] =
    "原因と対処は qlarkw-cli doctor を実行すると分かります。";

// Program memory
inline constexpr char kHexError[] = "Hexファイルにエラーがありました";
inline constexpr char kHexErrorLine2[] = "ＨＥＸファイルを作り直して、もう一度操作してください。";
inline constexpr char kTryAgain[] = "もう一度操作してください。";
inline constexpr char kFileOpenFailed[] = "ファイルを開けませんでした";
inline constexpr char kWriteFailed[] = "書き込み中にエラーが発生しました";
inline constexpr char kFileProcessingError[] = "ファイル処理エラーです";
inline constexpr char kFileError[] = "ファイルエラーです";
inline constexpr char kWriteDone[] = "書込みが終了しました";
inline constexpr char kReadDone[] = "読取り終了しました";
inline constexpr char kEraseDone[] = "全消去しました";
inline constexpr char kAddressPrefix[] = "アドレス ";
inline constexpr char kWritingSuffix[] = " 書込み中";
inline constexpr char kReceivingSuffix[] = " 受信中";
inline constexpr char kWritingFile[] = "ファイル出力中";
inline constexpr char kDefaultReadFile[] = "qlark.hex";

// Settings file
inline constexpr char kSettingsFileName[] = "qlarkw.ini";
inline constexpr char kSettingAbsent[] = "???";
// Shut-down: the settings file could not be written (or was not read);
// the second line is the file's path. Caption kCaptionFileError.
inline constexpr char kSettingsNotSaved[] = "設定を保存できませんでした";

}  // namespace texts

namespace texts {

// Main window's file checks
inline constexpr char kChooseHexFile[] = "参照をクリックしてHEXファイルを指定してください";
inline constexpr char kHexFileMissing[] =
    "HEXファイルが存在しません。参照をクリックしてファイルを指定をしてください";
inline constexpr char kFileMissing[] = "ファイルが存在しません";

}  // namespace texts

namespace texts {

// Desktop program: start-up, command line and shut-down
inline constexpr char kVersionDate[] = " 2005.5";
inline constexpr char kAlreadyRunningPrefix[] = "すでに";
inline constexpr char kAlreadyRunningSuffix[] = "が実行されています";
inline constexpr char kCannotLoadFile[] = "指定ファイルを呼出しません。";
inline constexpr char kWrongArgument[] = "引数の指定が違います";
inline constexpr char kStartupFailedSuffix[] = "を実行できませんでした";
inline constexpr char kSectionFile[] = "File";
inline constexpr char kKeyName[] = "name";
inline constexpr char kSectionConfig[] = "Config";
inline constexpr char kKeyWord[] = "word";
inline constexpr char kSectionMode[] = "Mode";
inline constexpr char kKeyQLark[] = "Q-LARK";

// Main window
inline constexpr char kHexFileFilter[] = "Hexファイル(*.hex)|*.hex|すべてのファイル(*.*)|*.*";
inline constexpr char kHelpFileName[] = "t5813.hlp";
inline constexpr char kHelpOpenFailed[] = "ヘルプファイルを開けませんでした";
inline constexpr char kEditorOpenFailed[] = "テキストエディタを起動できませんでした";
inline constexpr char kModeWrite[] = "Write";
inline constexpr char kModeRead[] = "Read";
inline constexpr char kModeErase[] = "Erase";
inline constexpr char kAskWrite[] = "PICにプログラムを書込んでよろしいですか？ ";
inline constexpr char kAskRead[] = "PICのプログラムを読出しますか";
inline constexpr char kAskErase[] = "プログラムメモリを全消去しますか";

// Board selection and the start-up Writer check
inline constexpr char kTitleForQLark[] = "Q-LARK USBライタ for Q-LARK";
inline constexpr char kTitleForQLark2[] = "Q-LARK USBライタ for Q-LARK2";
inline constexpr char kCheckingWriter[] = "Q-LARK USBライタと通信中...";
inline constexpr char kWriterCheckFailed[] = "USBライタとの通信に失敗しました";

// About box
inline constexpr char kVersionPrefix[] = "Ver ";
inline constexpr char kForT5813Only[] = "このアプリケーションはＴ５８１３専用です";
inline constexpr char kFirmwarePrefix[] = "ファームウェアバージョン ";

}  // namespace texts

namespace texts {

// Data EEPROM: viewer, byte editor, write form
inline constexpr char kEepromUnread[] = "*";  // a cell of the viewer not read yet
inline constexpr char kTalkingToBoard[] = "ＰＩＣマイコンボードと通信中";
inline constexpr char kWriterNoResponse[] = "ライタの反応がありません";
inline constexpr char kAskEraseEeprom[] = "EEP-ROMデータエリアを全消去しますか";
inline constexpr char kEnterOneByte[] = "１バイトのデータを入力してください";
inline constexpr char kBadByteValue[] = "データの値が正しくありません";
inline constexpr char kByteOutOfRange[] = "データの値が有効範囲を超えています";
inline constexpr char kWriting[] = "書込み中";
inline constexpr char kByteNoPowerLine1[] = "Q-LARKの電源が入っていません。";
inline constexpr char kByteNoPowerLine2[] = "電源を入れてからもう一度クリックしてください。";
inline constexpr char kByteLinkFailedLine2[] =
    "ケーブルの確認をしてからもう一度クリックしてください。";
inline constexpr char kDataFileMissing[] = "指定したファイルが存在しないので書込みができません。";
inline constexpr char kClickAgain[] = "もう一度クリックしてください。";
inline constexpr char kWritingAddressPrefix[] = "書込み中 アドレス　";
inline constexpr char kRunAgain[] = "もう一度実行してください。";
inline constexpr char kBoardNoPower[] = "ロボット基板の電源が入っていません。";
// A data file that is not 32 records of four numbers: the addresses 2k and
// 2k + 1, each followed by its byte, 0 to 255.
inline constexpr char kDataFileErrorAtLine[] = "データファイルの%1行目にエラーがありました";
inline constexpr char kDataFileTooShort[] = "データファイルのデータが足りません";
inline constexpr char kDataFileRemake[] = "データファイルを作り直して、もう一度実行してください。";

// Configuration register viewer
inline constexpr char kConfRegOscillator[] = "FOSC    ";
inline constexpr char kConfRegWatchdog[] = "WDT     ";
inline constexpr char kConfRegPowerUp[] = "PWRTE   ";
inline constexpr char kConfRegProtect[] = "CP      ";
inline constexpr char kOn[] = "ON";
inline constexpr char kOff[] = "OFF";

}  // namespace texts

namespace texts {

// Desktop program: its own section of the settings file
inline constexpr char kSectionDesktop[] = "Desktop";
inline constexpr char kKeyVerify[] = "verify";
inline constexpr char kKeyHexEeprom[] = "eeprom";
inline constexpr char kKeyRecentPrefix[] = "recent";  // recent1 .. recent8

// Desktop program: recent files, help, verify after write, EEPROM data of
// the HEX file
inline constexpr char kRecentFileGone[] =
    "ファイルが見つからないので、最近使ったファイルから外しました";
inline constexpr char kManualFolder[] = "manual";
inline constexpr char kManualPage[] = "index.html";
inline constexpr char kVerifying[] = "書込み後の検証中";
inline constexpr char kWritingHexEeprom[] = "EEPROMデータの書込み中";
inline constexpr char kVerifyDone[] = "読出して検証しました。書込んだ内容と一致しています。";
inline constexpr char kVerifyMismatch[] = "検証エラー：PICの内容がファイルと違います";
// The first difference: address, the file's word, the chip's word.
inline constexpr char kVerifyFirstWord[] = "最初の違い：アドレス %1h　ファイル %2h　PIC %3h";
inline constexpr char kVerifyConfigBits[] =
    "違い：コンフィグレーションワードの下位7ビット　ファイル %1h　PIC %2h";
inline constexpr char kVerifyEepromByte[] = "最初の違い：EEPROMアドレス %1h　ファイル %2h　PIC %3h";
inline constexpr char kHexEepromNotWritten[] =
    "EEPROMデータ %1 バイトは書込んでいません（メモリメニューで選べます）。";
inline constexpr char kHexEepromWritten[] = "EEPROMデータ %1 バイトも書込みました。";

// Desktop program: the chosen HEX file's summary on the status line
inline constexpr char kSummaryGood[] = "%1 ワード　CONFIG %2　EEPROM %3 バイト　チェックサム正常";
inline constexpr char kSummaryNoConfig[] = "なし";
inline constexpr char kSummaryBroken[] = "このHEXファイルは書込めません：%1行目 %2";
inline constexpr char kSummaryNoStartMark[] = "「:」で始まっていません";
inline constexpr char kSummaryTooShort[] = "レコードが途中で切れています";
inline constexpr char kSummaryBadDigit[] = "16進数でない文字があります";
inline constexpr char kSummaryBadChecksum[] = "チェックサムが合いません";
inline constexpr char kSummaryOutOfOrder[] = "アドレスが前のレコードより小さい";
inline constexpr char kSummaryNotAWord[] = "14ビットを超える値があります";
inline constexpr char kSummaryNoRecord[] = "レコードがありません";
inline constexpr char kSummaryMissing[] = "このHEXファイルは見つかりません";
inline constexpr char kSummaryUnreadable[] = "このHEXファイルは読めません";

}  // namespace texts
