#include "app/ui/command_line.h"

#include "app/text.h"

namespace qx {

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (IsDBCSLeadByte(c) && i + 1 < line.size()) {
      word.append(line, i, 2);
      inWord = true;
      i += 2;
      continue;
    }
    if (c == '\\') {
      std::size_t run = 0;
      while (i + run < line.size() && line[i + run] == '\\') ++run;
      if (i + run < line.size() && line[i + run] == '"') {
        word.append(run / 2, '\\');
        if (run % 2 == 1) word += '"';
        else quoted = !quoted;
        i += run + 1;
      } else {
        word.append(run, '\\');
        i += run;
      }
      inWord = true;
      continue;
    }
    if (c == '"') {
      // Two quotes inside a quoted part stand for one, as the C runtime reads them.
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        word += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      inWord = true;
      continue;
    }
    if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    word += static_cast<char>(c);
    inWord = true;
    ++i;
  }
  if (inWord) words.push_back(word);
  return words;
}

bool ParseSwitches(const std::vector<std::string>& words, RunSwitches& s, std::string& error) {
  using Mode = RunSwitches::Mode;
  using Restart = RunSwitches::Restart;
  bool modeSet = false, driversSet = false, restartSet = false;
  for (const std::string& word : words) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) {
      error = word;
      return false;
    }
    std::string body = word.substr(1);
    std::size_t colon = body.find(':');
    std::string name = body.substr(0, colon);
    for (char& ch : name)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    bool hasValue = colon != std::string::npos;
    std::string value = hasValue ? body.substr(colon + 1) : std::string();
    bool takesValue = name == "log" || name == "report";
    if (takesValue != hasValue || (takesValue && value.empty())) {
      error = word;
      return false;
    }
    s.any = true;
    auto once = [&](bool& set, auto& field, auto wanted) {
      if (set && field != wanted) return false;
      set = true;
      field = wanted;
      return true;
    };
    bool ok = true;
    if (name == "?") s.help = true;
    else if (name == "passive") ok = once(modeSet, s.mode, Mode::Passive);
    else if (name == "quiet") ok = once(modeSet, s.mode, Mode::Quiet);
    else if (name == "keepdrivers") ok = once(driversSet, s.drivers, 0);
    else if (name == "removedrivers") ok = once(driversSet, s.drivers, 1);
    else if (name == "norestart") ok = once(restartSet, s.restart, Restart::Never);
    else if (name == "forcerestart") ok = once(restartSet, s.restart, Restart::Force);
    else if (name == "promptrestart") ok = once(restartSet, s.restart, Restart::Prompt);
    else if (name == "whatif") s.whatIf = true;
    else if (name == "log") s.logPath = value;
    else if (name == "report") s.reportPath = value;
    else ok = false;
    if (!ok) {
      error = word;
      return false;
    }
  }
  // A quiet run has nobody to answer the restart question; a what-if run restarts nothing.
  if ((s.mode == Mode::Quiet || s.whatIf) && s.restart == Restart::Prompt) {
    error = "/promptrestart";
    return false;
  }
  if (s.whatIf && s.restart == Restart::Force) {
    error = "/forcerestart";
    return false;
  }
  return true;
}

const std::string& UsageText() {
  static const std::string text =
      "QXErs.exe [/passive | /quiet] [/keepdrivers | /removedrivers]\r\n"
      "          [/norestart | /forcerestart | /promptrestart] [/log:パス] [/report:パス] [/whatif]\r\n"
      "\r\n"
      "/passive        質問せずに実行します（進行状況のみ表示）。\r\n"
      "/quiet          画面を表示せずに実行します。\r\n"
      "/keepdrivers    プリンタドライバ情報を残します。\r\n"
      "/removedrivers  プリンタドライバ情報も削除します。\r\n"
      "                （どちらもなければ QXErs.ini の DEFAULT_DELPRINTER に従います）\r\n"
      "/norestart      再起動しません（/passive と /quiet の既定）。\r\n"
      "/forcerestart   再起動が必要なときは確認せずに再起動します。\r\n"
      "/promptrestart  再起動が必要なときは確認します。\r\n"
      "/log:パス       ログをこのパスにも書き込みます。\r\n"
      "/report:パス    結果ファイルをこのパスに書き込みます。\r\n"
      "/whatif         何も変更せずに、削除される内容を調べます（結果ファイルと画面に表示）。\r\n"
      "/?              この説明を表示します。\r\n"
      "\r\n"
      "終了コード: 0 完了, 3010 完了(再起動が必要), 1641 完了(再起動を開始), 1602 中止,\r\n"
      "1618 実行中, 1619 QXErs.ini なし, 1633 未対応のOS, 5 管理者権限なし, 87 引数の誤り,\r\n"
      "1603 その他の異常終了\r\n";
  return text;
}

}  // namespace qx
