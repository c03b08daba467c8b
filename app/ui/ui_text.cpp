#include "app/ui/ui_text.h"

#include <map>

#include "resources/resource.h"

namespace qx {

const std::string& UiString(UINT id) {
  static const std::map<UINT, std::string> strings = {
      {IDS_BANNER, "Qorvex Eraser"},
      {IDS_ASK_CONTINUE, "処理の途中で中断はできません。継続しますか？"},
      {IDS_ASK_QUIT, "Qorvex Eraserを終了しますか？"},
      {IDS_END_DONE, "削除処理が終了しました。"},
      {IDS_END_RESTART, "システムの再起動が必要です。今すぐ再起動しますか？"},
      {IDS_END_UNSUPPORTED, "Qorvex Eraserは本OSではサポートされていません。"},
      {IDS_END_NO_CONFIG, "Qorvex Eraserを実行する為に必要な情報がありません。"},
      {IDS_END_NO_RIGHTS, "Qorvex Eraserを実行する権限がありません。詳しくは、システム管理者にお問い合わせください。"},
      {IDS_STATUS_COMPANIONS, "関連プログラムを停止しています。"},
      {IDS_STATUS_SERVICES, "サービスを停止しています。"},
      {IDS_STATUS_SERVICES_AND_OTHERS, "サービスその他を削除しています。"},
      {IDS_STATUS_MENUS, "メニュー／アイコンを削除しています。"},
      {IDS_STATUS_REGISTRY, "レジストリを削除しています。"},
      {IDS_STATUS_FILES, "ファイルを削除しています。"},
      {IDS_STATUS_INIT, "初期化処理中です。"},
      {IDS_END_CANCELLED, "削除処理を中止しました。"},
  };
  static const std::string none;
  auto it = strings.find(id);
  return it == strings.end() ? none : it->second;
}

const DialogTexts& TemplateTexts() {
  static const DialogTexts texts = {
      "Qorvex Eraser",
      "Qorvex情報をすべて削除します。",
      "※プログラム実行中に印刷処理は行わないでください。",
      "ドライバ削除処理の選択",
      "プリンタドライバ情報は残しますか？ それとも削除しますか？",
      "ドライバは削除せずに残す(&P)",
      "ドライバもすべて削除する(&A)",
      "Qorvex Eraser 削除中",
      "ｷｬﾝｾﾙ",
  };
  return texts;
}

}  // namespace qx
