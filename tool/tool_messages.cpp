#include "tool/tool_messages.h"

#include <cstddef>

namespace vellum::tool {
namespace {

struct Texts {
    Message message;
    const char16_t* english;
    const char16_t* japanese;
};

// One entry per message, in the enumeration's order.
constexpr Texts kTexts[] = {
    {Message::Usage,
     u"Usage: vellumdb-tool COMMAND [ARGUMENTS] [--db FILE]\n"
     u"  check                          integrity, rows, rows whose files are missing\n"
     u"  backup [FILE]                  a consistent copy now (default: the backups folder)\n"
     u"  relink OLD_FOLDER NEW_FOLDER [--apply]\n"
     u"                                 rows under the old folder take the new path\n"
     u"  restore-plays BACKUP [--from OLD --to NEW] [--add-missing] [--apply]\n"
     u"                                 play history from a backup returns to the library\n"
     u"Without --apply nothing is written. --db FILE: another library than Plugins\\vellumdb.db.\n"
     u"Exit codes: 0 done (or work found), 1 nothing to do, 2 bad arguments,\n"
     u"3 the library could not be opened or is damaged, 4 the backup could not be written.",
     u"使い方: vellumdb-tool コマンド [引数] [--db ファイル]\n"
     u"  check                          整合性、行数、ファイルが見つからない行を調べます\n"
     u"  backup [ファイル]              今の内容を正しくコピーします(省略時はバックアップ用フォルダー)\n"
     u"  relink 旧フォルダー 新フォルダー [--apply]\n"
     u"                                 旧フォルダーの下の行を新しいパスに付け替えます\n"
     u"  restore-plays バックアップ [--from 旧 --to 新] [--add-missing] [--apply]\n"
     u"                                 バックアップの再生履歴をライブラリに戻します\n"
     u"--apply を付けない限り何も書き込みません。--db ファイル: Plugins\\vellumdb.db 以外のライブラリ。\n"
     u"終了コード: 0 完了(または作業あり)、1 作業なし、2 引数の誤り、\n"
     u"3 ライブラリを開けないか壊れている、4 バックアップを書き込めなかった。"},
    {Message::BadArguments, u"vellumdb-tool: {1}", u"vellumdb-tool: {1}"},
    {Message::NoCommand, u"no command given", u"コマンドがありません"},
    {Message::UnknownCommand, u"unknown command: {1}", u"不明なコマンドです: {1}"},
    {Message::UnknownOption, u"unknown option: {1}", u"不明なオプションです: {1}"},
    {Message::NeedsValue, u"{1} needs a value", u"{1} には値が必要です"},
    {Message::WrongCount, u"{1}: wrong number of arguments", u"{1}: 引数の数が正しくありません"},
    {Message::NotForCommand, u"{1} does not apply to {2}", u"{1} は {2} には使えません"},
    {Message::FromWithoutTo, u"--from and --to go together", u"--from と --to は両方指定してください"},
    {Message::EmptyFolder, u"not a folder: \"{1}\"", u"フォルダーではありません: \"{1}\""},
    {Message::NestedFolders, u"the folders lie inside one another: {1}, {2}",
     u"一方のフォルダーがもう一方の中にあります: {1}、{2}"},
    {Message::CannotOpenLibrary, u"Cannot open the library: {1}", u"ライブラリを開けません: {1}"},
    {Message::LibraryDamaged, u"The library is damaged: {1}", u"ライブラリが壊れています: {1}"},
    {Message::CannotOpenBackup, u"Cannot open the backup: {1}", u"バックアップを開けません: {1}"},
    {Message::BackupDamaged, u"The backup is damaged: {1}", u"バックアップが壊れています: {1}"},
    {Message::LibraryBusy, u"The library stayed locked by another program; nothing was changed: {1}",
     u"ライブラリがほかのプログラムにロックされたままです。何も変更していません: {1}"},
    {Message::CheckLibrary, u"Library: {1}", u"ライブラリ: {1}"},
    {Message::CheckIntegrityOk, u"Integrity: ok", u"整合性: 問題なし"},
    {Message::CheckIntegrityProblem, u"Integrity: {1}", u"整合性: {1}"},
    {Message::CheckRows, u"Rows: {1}", u"行数: {1}"},
    {Message::CheckMissing, u"Rows whose files are missing: {1}", u"ファイルが見つからない行: {1}"},
    {Message::CheckOffline, u"Rows on volumes that cannot be reached (kept by the purge): {1}",
     u"接続されていないドライブ上の行(リンク切れの削除では残ります): {1}"},
    {Message::CheckMissingRow, u"  missing: {1}", u"  見つかりません: {1}"},
    {Message::BackupWritten, u"Backup written: {1}", u"バックアップを書き込みました: {1}"},
    {Message::BackupNotWritten, u"The backup could not be written: {1}", u"バックアップを書き込めませんでした: {1}"},
    {Message::RelinkChange, u"{1} -> {2}", u"{1} -> {2}"},
    {Message::RelinkMergeChange, u"{1} -> {2} (merged with the existing row)", u"{1} -> {2}(既存の行と統合)"},
    {Message::RelinkNothing, u"No rows lie under {1}.", u"{1} の下にある行はありません。"},
    {Message::RelinkWouldChange, u"{1} rows would take a new path, {2} of them merged with an existing row.",
     u"{1} 行が新しいパスになります(うち {2} 行は既存の行と統合)。"},
    {Message::RelinkChanged, u"{1} rows took a new path, {2} of them merged with an existing row.",
     u"{1} 行を新しいパスにしました(うち {2} 行は既存の行と統合)。"},
    {Message::RestoreUnmatched, u"  not in the library: {1}", u"  ライブラリにありません: {1}"},
    {Message::RestoreWouldChange, u"{1} tracks would get plays back from the backup; {2} are already up to date.",
     u"{1} 曲の再生履歴がバックアップから戻ります。{2} 曲はすでに最新です。"},
    {Message::RestoreChanged, u"{1} tracks got plays back from the backup; {2} were already up to date.",
     u"{1} 曲の再生履歴をバックアップから戻しました。{2} 曲はすでに最新でした。"},
    {Message::RestoreWouldAdd, u"{1} backup rows are not in the library and would be added.",
     u"ライブラリにないバックアップの行 {1} 行を追加します。"},
    {Message::RestoreAdded, u"{1} backup rows were added to the library.",
     u"バックアップの行 {1} 行をライブラリに追加しました。"},
    {Message::RestoreNothing, u"{1} backup rows are not in the library (add them with --add-missing).",
     u"ライブラリにないバックアップの行が {1} 行あります(--add-missing で追加できます)。"},
    {Message::DryRunHint, u"Nothing was written. Run again with --apply to write.",
     u"何も書き込んでいません。書き込むには --apply を付けてもう一度実行してください。"},
    {Message::ProgressChecking, u"Checking", u"確認中"},
    {Message::ProgressCopying, u"Copying", u"コピー中"},
    {Message::ProgressRelinking, u"Relinking", u"付け替え中"},
    {Message::ProgressRestoring, u"Restoring", u"復元中"},
    {Message::ProgressLine, u"{1}: {2}%", u"{1}: {2}%"},
};

constexpr bool OnePerMessageInOrder() {
    constexpr std::size_t count = sizeof kTexts / sizeof kTexts[0];
    if (count != static_cast<std::size_t>(Message::ProgressLine) + 1) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (kTexts[i].message != static_cast<Message>(i)) return false;
    return true;
}
static_assert(OnePerMessageInOrder(), "one text per message, in the enumeration's order");

}  // namespace

std::u16string Text(Message message, Language language, std::initializer_list<std::u16string_view> values) {
    const Texts& texts = kTexts[static_cast<std::size_t>(message)];
    const std::u16string_view pattern = language == Language::Japanese ? texts.japanese : texts.english;
    std::u16string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t place = i + 2 < pattern.size() && pattern[i] == u'{' && pattern[i + 2] == u'}'
                                      ? static_cast<std::size_t>(pattern[i + 1] - u'1')
                                      : values.size();
        if (place < values.size()) {
            out += values.begin()[place];
            i += 2;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace vellum::tool
