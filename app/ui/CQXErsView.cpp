#include "app/ui/CQXErsView.h"

#include "app/config.h"

namespace qx {

namespace {

struct EndMessage {
  int code;
  const char* text;
  const char* caption;
  bool yesNo;
};

const EndMessage kEndMessages[] = {
    {kResultDone, "削除処理が終了しました。", "Qorvex Eraser 終了", false},
    {kResultRestart, "システムの再起動が必要です。今すぐ再起動しますか？", "Qorvex Eraser 終了", true},
    {kResultCancelled, "削除処理を中止しました。", "Qorvex Eraser 中止", false},
    {kResultNoConfiguration, "Qorvex Eraserを実行する為に必要な情報がありません。", "Qorvex Eraser 中止", false},
    {kResultUnsupportedSystem, "Qorvex Eraserは本OSではサポートされていません。", "Qorvex Eraser 中止", false},
    {kResultNoRights,
     "Qorvex Eraserを実行する権限がありません。詳しくは、システム管理者にお問い合わせください。",
     "Qorvex Eraser 中止", false},
};

}  // namespace

const std::string& StatusText(int index) {
  static const std::string texts[] = {
      "初期化処理中です。",
      "関連プログラムを停止しています。",
      "サービスを停止しています。",
      "サービスその他を削除しています。",
      "メニュー／アイコンを削除しています。",
      "レジストリを削除しています。",
      "ファイルを削除しています。",
  };
  static const std::string none;
  return (index >= 0 && index <= 6) ? texts[index] : none;
}

CQXErsView::CQXErsView(CQXErsDoc& doc, Dialogs& dialogs) : doc_(doc), dialogs_(dialogs) {}

void CQXErsView::OnTimer() {
  if (!dialogs_.Confirm()) {
    ShowEndMessage(kResultCancelled);
    return;
  }
  // The job has not run yet, so the configuration's directory comes from the module path.
  doc_.PrepareRun();
  std::string preset = ReadIniValue(doc_.sys.files, "ENVIRONMENT", "DEFAULT_DELPRINTER", doc_.ConfigPath());
  if (preset == kIniNotOpened) {
    ShowEndMessage(kResultNoConfiguration);
    return;
  }
  int choice = preset == "1" ? 1 : 0;
  bool ok = dialogs_.ChooseDrivers(choice, choice);
  driverChoice = choice;
  if (!ok) {
    ShowEndMessage(kResultCancelled);
    return;
  }
  job = &doc_;
  doc_.StartErase(this);
}

LRESULT CQXErsView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case QXM_RUN_START: dialogs_.ShowProgress(); break;
    case QXM_RUN_END: dialogs_.CloseProgress(); break;
    // The progress bar takes 16-bit values.
    case QXM_RANGE: dialogs_.SetProgressRange(static_cast<WORD>(wParam), static_cast<WORD>(lParam)); break;
    case QXM_POSITION: dialogs_.SetProgressPosition(static_cast<int>(wParam)); break;
    case QXM_STATUS:
      if (wParam <= 6) dialogs_.SetStatusText(StatusText(static_cast<int>(wParam)));
      break;
    case QXM_RESULT: ShowEndMessage(static_cast<int>(static_cast<LPARAM>(wParam))); break;
    default: break;
  }
  return 0;
}

void CQXErsView::ShowEndMessage(int code) {
  for (const EndMessage& m : kEndMessages) {
    if (m.code != code) continue;
    bool yes = dialogs_.EndMessage(m.text, m.caption, m.yesNo);
    if (m.yesNo && yes) doc_.RestartSystem();
    break;
  }
  dialogs_.CloseApplication();
}

}  // namespace qx
