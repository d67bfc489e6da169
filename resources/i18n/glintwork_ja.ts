<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
  <context>
    <name>AppLanguage</name>
    <message>
      <source>System Default</source>
      <translation>システムのデフォルト</translation>
    </message>
  </context>
  <context>
    <name>CutoutErrors</name>
    <message>
      <source>Failed to generate a mask from the detected subject: </source>
      <translation>検出した被写体からマスクを生成できませんでした: </translation>
    </message>
    <message>
      <source>No foreground subject was detected in the image.</source>
      <translation>画像内に前景の被写体が見つかりませんでした。</translation>
    </message>
    <message>
      <source>The image could not be prepared from the subject mask: </source>
      <translation>被写体マスクから画像を準備できませんでした: </translation>
    </message>
    <message>
      <source>Subject detection failed: </source>
      <translation>被写体の検出に失敗しました: </translation>
    </message>
  </context>
  <context>
    <name>ConversionError</name>
    <message>
      <source>Image decoding failed</source>
      <translation>画像のデコードに失敗しました</translation>
    </message>
    <message>
      <source>TGA export failed: %1</source>
      <translation>TGA の書き出しに失敗しました: %1</translation>
    </message>
    <message>
      <source>Output file was not created</source>
      <translation>出力ファイルが作成されませんでした</translation>
    </message>
    <message>
      <source>The encoder could not convert this file (exit status %1): %2</source>
      <translation>エンコーダはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
    <message>
      <source>The WebP encoder could not convert this file (exit status %1): %2</source>
      <translation>WebP エンコーダはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
    <message>
      <source>The JPEG encoder could not convert this file (exit status %1): %2</source>
      <translation>JPEG エンコーダはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
    <message>
      <source>The AVIF encoder could not convert this file (exit status %1): %2</source>
      <translation>AVIF エンコーダはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
    <message>
      <source>The HEIC encoder could not convert this file (exit status %1): %2</source>
      <translation>HEIC エンコーダはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
    <message>
      <source>The PNG optimiser could not convert this file (exit status %1): %2</source>
      <translation>PNG 最適化ツールはこのファイルを変換できませんでした (終了ステータス %1): %2</translation>
    </message>
  </context>
  <context>
    <name>CompressDriver</name>
    <message>
      <source>Cancelling conversion</source>
      <translation>変換をキャンセルしています</translation>
    </message>
  </context>
  <context>
    <name>CutoutMode</name>
    <message>
      <source>Clean Edges</source>
      <translation>きれいな境界</translation>
    </message>
    <message>
      <source>Lossless</source>
      <translation>ロスレス</translation>
    </message>
    <message>
      <source>Clean Edges: AI person matting with halo-free, smooth edges — best for photos of people. Lossless: subject mask only; foreground pixels stay byte-for-byte identical.</source>
      <translation>きれいな境界: AI による人物の切り抜きで、にじみのない滑らかな境界に仕上げます。人物写真に最適です。ロスレス: 被写体マスクのみを使い、前景のピクセルは 1 バイトも変わりません。</translation>
    </message>
  </context>
  <context>
    <name>CutoutPipeline</name>
    <message>
      <source>Could not read source image at %1.</source>
      <translation>%1 の元画像を読み込めませんでした。</translation>
    </message>
  </context>
  <context>
    <name>CutoutDriver</name>
    <message>
      <source>Mask export failed: </source>
      <translation>マスクの書き出しに失敗しました: </translation>
    </message>
    <message>
      <source>Cancelling processing</source>
      <translation>処理をキャンセルしています</translation>
    </message>
  </context>
  <context>
    <name>Error</name>
    <message>
      <source>Not enough memory for this image.</source>
      <translation>この画像を処理するためのメモリが足りません。</translation>
    </message>
    <message>
      <source>Unknown error.</source>
      <translation>不明なエラーです。</translation>
    </message>
  </context>
  <context>
    <name>UpscaleErrors</name>
    <message>
      <source>AI upscale model (</source>
      <translation>AI 拡大モデル (</translation>
    </message>
    <message>
      <source>) is not installed. Install the glintwork-models package, or run scripts/setup-models in a source checkout.</source>
      <translation>) はインストールされていません。glintwork-models パッケージをインストールするか、ソースのチェックアウトで scripts/setup-models を実行してください。</translation>
    </message>
    <message>
      <source>Upscale inference failed: </source>
      <translation>拡大の推論に失敗しました: </translation>
    </message>
  </context>
  <context>
    <name>DropZoneView</name>
    <message>
      <source>Images</source>
      <translation>画像</translation>
    </message>
  </context>
  <context>
    <name>FileService</name>
    <message>
      <source>Could not create the folder %1: %2</source>
      <translation>フォルダ %1 を作成できませんでした: %2</translation>
    </message>
  </context>
  <context>
    <name>ImageConverter</name>
    <message>
      <source>Could not write to the folder %1: %2</source>
      <translation>フォルダ %1 に書き込めませんでした: %2</translation>
    </message>
    <message>
      <source>Could not write the output file: %1</source>
      <translation>出力ファイルを書き込めませんでした: %1</translation>
    </message>
    <message>
      <source>Could not find a free name for %1</source>
      <translation>%1 に使える名前が見つかりませんでした</translation>
    </message>
  </context>
  <context>
    <name>ImageServices</name>
    <message>
      <source>%1: %2</source>
      <translation>%1: %2</translation>
    </message>
  </context>
  <context>
    <name>MoveWithoutReplacing</name>
    <message>
      <source>Could not save %1: %2</source>
      <translation>%1 を保存できませんでした: %2</translation>
    </message>
  </context>
  <context>
    <name>NamingMode</name>
    <message>
      <source>Original</source>
      <translation>オリジナル</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>サフィックス</translation>
    </message>
    <message>
      <source>Custom</source>
      <translation>カスタム</translation>
    </message>
  </context>
  <context>
    <name>OutputFolderRow</name>
    <message>
      <source>(Same folder as input)</source>
      <translation>(入力と同じフォルダ)</translation>
    </message>
  </context>
  <context>
    <name>PNGQuantizer</name>
    <message>
      <source>Image decoding failed</source>
      <translation>画像のデコードに失敗しました</translation>
    </message>
    <message>
      <source>Pixel buffer creation failed</source>
      <translation>ピクセルバッファを作成できませんでした</translation>
    </message>
    <message>
      <source>Color quantization failed</source>
      <translation>減色に失敗しました</translation>
    </message>
    <message>
      <source>PNG write failed</source>
      <translation>PNG の書き込みに失敗しました</translation>
    </message>
  </context>
  <context>
    <name>StatusCell</name>
    <message>
      <source>Waiting</source>
      <translation>待機中</translation>
    </message>
    <message>
      <source>Done</source>
      <translation>完了</translation>
    </message>
    <message>
      <source>Cancelled</source>
      <translation>キャンセル</translation>
    </message>
    <message>
      <source>Error</source>
      <translation>エラー</translation>
    </message>
  </context>
  <context>
    <name>TabKind</name>
    <message>
      <source>Compress</source>
      <translation>圧縮</translation>
    </message>
    <message>
      <source>Cutout</source>
      <translation>切り抜き</translation>
    </message>
    <message>
      <source>Upscale</source>
      <translation>拡大</translation>
    </message>
  </context>
  <context>
    <name>ToolManager</name>
    <message>
      <source>The program&apos;s resource folder is missing from the installation.</source>
      <translation>プログラムのリソースフォルダがインストールに含まれていません。</translation>
    </message>
    <message>
      <source>The helper program &apos;%1&apos; is missing from the installation (it belongs in Resources/bin).</source>
      <translation>補助プログラム「%1」がインストールに含まれていません (Resources/bin に置かれるものです)。</translation>
    </message>
  </context>
  <context>
    <name>UpscaleModel</name>
    <message>
      <source>General 4x</source>
      <translation>汎用 4x</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x</source>
      <translation>アニメ / イラスト 4x</translation>
    </message>
    <message>
      <source>General 2x</source>
      <translation>汎用 2x</translation>
    </message>
    <message>
      <source>General 4x (fast)</source>
      <translation>汎用 4x（高速）</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x (fast)</source>
      <translation>アニメ / イラスト 4x（高速）</translation>
    </message>
    <message>
      <source>Anime / Illustration 2x</source>
      <translation>アニメ / イラスト 2x</translation>
    </message>
  </context>
  <context>
    <name>UpscaleOutputFormat</name>
    <message>
      <source>PNG</source>
      <translation>PNG</translation>
    </message>
    <message>
      <source>JPEG</source>
      <translation>JPEG</translation>
    </message>
  </context>
  <context>
    <name>UpscalePipeline</name>
    <message>
      <source>Could not read source image at </source>
      <translation>元画像を読み込めませんでした: </translation>
    </message>
    <message>
      <source>Failed to write upscaled image to </source>
      <translation>拡大した画像を書き込めませんでした: </translation>
    </message>
    <message>
      <source>Failed to merge upscaled tiles into final image.</source>
      <translation>拡大したタイルを 1 枚の画像に結合できませんでした。</translation>
    </message>
    <message>
      <source>The upscaled image would be %1 × %2 pixels, more than the %3 megapixels this program holds in memory.</source>
      <translation>拡大後の画像は %1 × %2 ピクセルになり、このプログラムがメモリに保持できる %3 メガピクセルを超えます。</translation>
    </message>
  </context>
  <context>
    <name>UpscaleQuality</name>
    <message>
      <source>Best</source>
      <translation>最高画質</translation>
    </message>
    <message>
      <source>Fast</source>
      <translation>高速</translation>
    </message>
  </context>
  <context>
    <name>UpscaleStyle</name>
    <message>
      <source>Auto</source>
      <translation>自動</translation>
    </message>
    <message>
      <source>General photo</source>
      <translation>一般的な写真</translation>
    </message>
    <message>
      <source>Anime / Illustration</source>
      <translation>アニメ / イラスト</translation>
    </message>
  </context>
  <context>
    <name>UpscaleDriver</name>
    <message>
      <source>Cancelling upscaling</source>
      <translation>拡大をキャンセルしています</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AcknowledgementsView</name>
    <message>
      <source>Acknowledgements</source>
      <translation>謝辞</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>閉じる</translation>
    </message>
    <message>
      <source>Third-party license information is unavailable.</source>
      <translation>サードパーティのライセンス情報を表示できません。</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AppSettingsView</name>
    <message>
      <source>Settings</source>
      <translation>設定</translation>
    </message>
    <message>
      <source>Language</source>
      <translation>言語</translation>
    </message>
    <message>
      <source>Language changes take effect after you restart Glintwork.</source>
      <translation>言語の変更は Glintwork を再起動すると反映されます。</translation>
    </message>
    <message>
      <source>About</source>
      <translation>情報</translation>
    </message>
    <message>
      <source>Acknowledgements</source>
      <translation>謝辞</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>閉じる</translation>
    </message>
    <message>
      <source>Restart Required</source>
      <translation>再起動が必要です</translation>
    </message>
    <message>
      <source>Language changes take effect after restarting Glintwork.</source>
      <translation>言語の変更は Glintwork の再起動後に反映されます。</translation>
    </message>
    <message>
      <source>Quit Now</source>
      <translation>今すぐ終了</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>後で</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListModel</name>
    <message>
      <source>%1 percent</source>
      <translation>%1 パーセント</translation>
    </message>
    <message>
      <source>File</source>
      <translation>ファイル</translation>
    </message>
    <message>
      <source>Convert</source>
      <translation>変換</translation>
    </message>
    <message>
      <source>Size</source>
      <translation>サイズ</translation>
    </message>
    <message>
      <source>Ratio</source>
      <translation>比率</translation>
    </message>
    <message>
      <source>Status</source>
      <translation>状態</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListView</name>
    <message>
      <source>Delete</source>
      <translation>削除</translation>
    </message>
    <message>
      <source>%1 %</source>
      <translation>%1%</translation>
    </message>
    <message>
      <source>File Failed</source>
      <translation>ファイルの処理に失敗</translation>
    </message>
    <message>
      <source>Warning</source>
      <translation>警告</translation>
    </message>
    <message>
      <source>%1 could not be processed.</source>
      <translation>%1 を処理できませんでした。</translation>
    </message>
    <message>
      <source>%1 was written, with a warning.</source>
      <translation>%1 は書き出されましたが、警告があります。</translation>
    </message>
    <message>
      <source>OK</source>
      <translation>OK</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchSummaryView</name>
    <message>
      <source>%1/%2 files</source>
      <translation>%1/%2 ファイル</translation>
    </message>
    <message>
      <source>Less than a minute left</source>
      <translation>残り 1 分未満</translation>
    </message>
    <message numerus="yes">
      <source>About %n min left</source>
      <translation><numerusform>残り約 %n 分</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>About %n h left</source>
      <translation><numerusform>残り約 %n 時間</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n failed</source>
      <translation><numerusform>%n 件失敗</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n cancelled</source>
      <translation><numerusform>%n 件キャンセル</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchToolView</name>
    <message>
      <source>Open in File Manager</source>
      <translation>ファイルマネージャで開く</translation>
    </message>
    <message>
      <source>Clear</source>
      <translation>クリア</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>キャンセル</translation>
    </message>
    <message>
      <source>Cancelling…</source>
      <translation>キャンセル中…</translation>
    </message>
    <message>
      <source>%1: %2</source>
      <translation>%1: %2</translation>
    </message>
    <message numerus="yes">
      <source>and %n more</source>
      <translation><numerusform>ほか %n 件</numerusform></translation>
    </message>
    <message>
      <source>Some files could not be added</source>
      <translation>一部のファイルを追加できませんでした</translation>
    </message>
    <message numerus="yes">
      <source>%n item(s) could not be added:</source>
      <translation><numerusform>%n 件の項目を追加できませんでした:</numerusform></translation>
    </message>
    <message>
      <source>All files are done — clear the list or add files</source>
      <translation>すべてのファイルが完了しました — リストを消去するかファイルを追加してください</translation>
    </message>
    <message>
      <source>Run All Again</source>
      <translation>すべて再実行</translation>
    </message>
    <message>
      <source>No File Manager</source>
      <translation>ファイルマネージャがありません</translation>
    </message>
    <message>
      <source>No file manager is set up to open folders.</source>
      <translation>フォルダを開くファイルマネージャが設定されていません。</translation>
    </message>
    <message>
      <source>The output folder is %1</source>
      <translation>出力フォルダは %1 です</translation>
    </message>
    <message>
      <source>Copy Path</source>
      <translation>パスをコピー</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>閉じる</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BeforeAfterView</name>
    <message>
      <source>Before and after</source>
      <translation>処理前と処理後</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>ドラッグして比較 — 左: 元画像、右: 拡大後</translation>
    </message>
    <message>
      <source>Before</source>
      <translation>処理前</translation>
    </message>
    <message>
      <source>After</source>
      <translation>処理後</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompactDropZoneView</name>
    <message>
      <source>Drop additional images here</source>
      <translation>ここに画像を追加でドロップ</translation>
    </message>
    <message>
      <source>Add images (drag &amp; drop)</source>
      <translation>画像を追加 (ドラッグ＆ドロップ)</translation>
    </message>
    <message>
      <source>Click to choose images, or drop them here</source>
      <translation>クリックして画像を選択するか、ここにドロップします</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>フォーマット:</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>画質:</translation>
    </message>
    <message>
      <source>Quality</source>
      <translation>画質</translation>
    </message>
    <message>
      <source>Resize</source>
      <translation>リサイズ</translation>
    </message>
    <message>
      <source>Max width:</source>
      <translation>最大幅:</translation>
    </message>
    <message>
      <source>Max height:</source>
      <translation>最大高さ:</translation>
    </message>
    <message>
      <source>px</source>
      <translation>px</translation>
    </message>
    <message>
      <source>Web Optimal</source>
      <translation>Web 最適</translation>
    </message>
    <message>
      <source>Balance</source>
      <translation>バランス</translation>
    </message>
    <message>
      <source>High Quality</source>
      <translation>高画質</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressView</name>
    <message>
      <source>Start Conversion</source>
      <translation>変換を開始</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutSettingsBar</name>
    <message>
      <source>Mode:</source>
      <translation>モード:</translation>
    </message>
    <message>
      <source>Format:</source>
      <translation>フォーマット:</translation>
    </message>
    <message>
      <source>Export mask separately</source>
      <translation>マスクを別に書き出す</translation>
    </message>
    <message>
      <source>Writes a grayscale PNG mask alongside the cutout, using the same basename plus -mask.</source>
      <translation>切り抜き画像と同じ名前に -mask を付けたグレースケールの PNG マスクを並べて書き出します。</translation>
    </message>
    <message>
      <source>Only plain backgrounds can be cut out: install the segmentation network with scripts/setup-models.</source>
      <translation>単色の背景しか切り抜けません。scripts/setup-models でセグメンテーションネットワークをインストールしてください。</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutView</name>
    <message>
      <source>Processing</source>
      <translation>処理中</translation>
    </message>
    <message>
      <source>Processing...</source>
      <translation>処理中...</translation>
    </message>
    <message>
      <source>Start Processing</source>
      <translation>処理を開始</translation>
    </message>
  </context>
  <context>
    <name>glintwork::DropZoneView</name>
    <message>
      <source>Drop image files here</source>
      <translation>ここに画像ファイルをドロップ</translation>
    </message>
    <message>
      <source>Drag &amp; drop images here</source>
      <translation>ここに画像をドラッグ＆ドロップ</translation>
    </message>
    <message>
      <source>or</source>
      <translation>または</translation>
    </message>
    <message>
      <source>Select Files</source>
      <translation>ファイルを選択</translation>
    </message>
    <message>
      <source>PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP</source>
      <translation>PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP</translation>
    </message>
  </context>
  <context>
    <name>glintwork::FileListModel</name>
    <message>
      <source>Converting</source>
      <translation>変換中</translation>
    </message>
  </context>
  <context>
    <name>glintwork::MainWindow</name>
    <message>
      <source>Check for Updates…</source>
      <translation>アップデートを確認…</translation>
    </message>
    <message>
      <source>Settings…</source>
      <translation>設定…</translation>
    </message>
    <message>
      <source>Quit Glintwork</source>
      <translation>Glintwork を終了</translation>
    </message>
    <message>
      <source>You&apos;re up to date!</source>
      <translation>最新の状態です。</translation>
    </message>
    <message>
      <source>Glintwork %1 is currently the newest version available.</source>
      <translation>Glintwork %1 が現在入手できる最新バージョンです。</translation>
    </message>
    <message>
      <source>A new version of Glintwork is available!</source>
      <translation>Glintwork の新しいバージョンがあります。</translation>
    </message>
    <message>
      <source>Glintwork %1 is now available; you have %2.</source>
      <translation>Glintwork %1 が公開されています (現在のバージョンは %2)。</translation>
    </message>
    <message>
      <source>Open Download Page</source>
      <translation>ダウンロードページを開く</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>後で</translation>
    </message>
    <message>
      <source>Update Error!</source>
      <translation>アップデートのエラー</translation>
    </message>
    <message>
      <source>An error occurred while checking for updates: %1</source>
      <translation>アップデートの確認中にエラーが発生しました: %1</translation>
    </message>
    <message>
      <source>Add Folder</source>
      <translation>フォルダを追加</translation>
    </message>
    <message>
      <source>Add Files</source>
      <translation>ファイルを追加</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
      <source>Add Files…</source>
      <translation>ファイルを追加…</translation>
    </message>
    <message>
      <source>Add Folder…</source>
      <translation>フォルダを追加…</translation>
    </message>
    <message>
      <source>Open Output Folder</source>
      <translation>出力フォルダを開く</translation>
    </message>
    <message>
      <source>Quit</source>
      <translation>終了</translation>
    </message>
    <message>
      <source>&amp;Edit</source>
      <translation>編集(&amp;E)</translation>
    </message>
    <message>
      <source>Select All</source>
      <translation>すべて選択</translation>
    </message>
    <message>
      <source>Remove</source>
      <translation>削除</translation>
    </message>
    <message>
      <source>Clear List</source>
      <translation>リストを消去</translation>
    </message>
    <message>
      <source>&amp;Help</source>
      <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Glintwork について</translation>
    </message>
    <message>
      <source>Cancel the running batch and quit?</source>
      <translation>実行中のバッチをキャンセルして終了しますか?</translation>
    </message>
    <message>
      <source>Files not finished yet are not written.</source>
      <translation>まだ完了していないファイルは書き出されません。</translation>
    </message>
    <message>
      <source>Cancel Batch and Quit</source>
      <translation>キャンセルして終了</translation>
    </message>
    <message>
      <source>Keep Running</source>
      <translation>実行を続ける</translation>
    </message>
  </context>
  <context>
    <name>glintwork::NamingView</name>
    <message>
      <source>Filename</source>
      <translation>ファイル名</translation>
    </message>
    <message>
      <source>Use original filenames</source>
      <translation>元のファイル名を使用</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>サフィックス</translation>
    </message>
    <message>
      <source>Use {scale} to insert the upscale factor (e.g., -upscaled-4x)</source>
      <translation>{scale} で拡大倍率を挿入できます (例: -upscaled-4x)</translation>
    </message>
    <message>
      <source>Prefix</source>
      <translation>プレフィックス</translation>
    </message>
    <message>
      <source>Start</source>
      <translation>開始番号</translation>
    </message>
  </context>
  <context>
    <name>glintwork::OutputFolderRow</name>
    <message>
      <source>Output:</source>
      <translation>出力先:</translation>
    </message>
    <message>
      <source>Change Folder</source>
      <translation>フォルダを変更</translation>
    </message>
    <message>
      <source>Use Input Folder</source>
      <translation>入力フォルダを使用</translation>
    </message>
    <message>
      <source>Choose Output Folder</source>
      <translation>出力フォルダを選択</translation>
    </message>
  </context>
  <context>
    <name>glintwork::RootView</name>
    <message>
      <source>Settings</source>
      <translation>設定</translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) compressed</source>
      <translation><numerusform>%n 件のファイルを圧縮しました</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) cut out</source>
      <translation><numerusform>%n 件のファイルを切り抜きました</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) upscaled</source>
      <translation><numerusform>%n 件のファイルをアップスケールしました</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>, %n failed</source>
      <translation><numerusform>、%n 件失敗</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::SummaryView</name>
    <message>
      <source>Converting...</source>
      <translation>変換中...</translation>
    </message>
  </context>
  <context>
    <name>glintwork::TabBar</name>
    <message>
      <source>Tab</source>
      <translation>タブ</translation>
    </message>
    <message>
      <source>%1 (%2)</source>
      <translation>%1 (%2)</translation>
    </message>
    <message>
      <source>Running</source>
      <translation>実行中</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpdateChecker</name>
    <message>
      <source>The update feed could not be read.</source>
      <translation>アップデートフィードを読み込めませんでした。</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleFileListView</name>
    <message>
      <source>Upscaling</source>
      <translation>拡大中</translation>
    </message>
    <message>
      <source>Preview</source>
      <translation>プレビュー</translation>
    </message>
    <message>
      <source>(fast)</source>
      <translation>（高速）</translation>
    </message>
    <message>
      <source>%1 × %2</source>
      <translation>%1 × %2</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscalePreviewView</name>
    <message>
      <source>Close</source>
      <translation>閉じる</translation>
    </message>
    <message>
      <source>Loading</source>
      <translation>読み込み中</translation>
    </message>
    <message>
      <source>%1 × %2 px (original)</source>
      <translation>%1 × %2 px (元画像)</translation>
    </message>
    <message>
      <source>%1 × %2 px</source>
      <translation>%1 × %2 px</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>ドラッグして比較 — 左: 元画像、右: 拡大後</translation>
    </message>
    <message>
      <source>Input preview</source>
      <translation>入力画像のプレビュー</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>フォーマット:</translation>
    </message>
    <message>
      <source>Style:</source>
      <translation>スタイル:</translation>
    </message>
    <message>
      <source>Scale:</source>
      <translation>倍率:</translation>
    </message>
    <message>
      <source>Anime / illustration has one 2x network; Quality applies at 4x.</source>
      <translation>アニメ / イラストの 2 倍は 1 種類のモデルのみです。画質は 4 倍で選べます。</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>画質:</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleView</name>
    <message>
      <source>Upscaling...</source>
      <translation>拡大中...</translation>
    </message>
    <message>
      <source>Start Upscaling</source>
      <translation>拡大を開始</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AboutView</name>
    <message>
      <source>Version %1</source>
      <translation>バージョン %1</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Glintwork について</translation>
    </message>
    <message>
      <source>Glintwork ships with these networks, encoders and libraries, each under its own licence:</source>
      <translation>Glintwork には次のネットワーク、エンコーダ、ライブラリが含まれており、それぞれ独自のライセンスに従います:</translation>
    </message>
    <message>
      <source>Component</source>
      <translation>コンポーネント</translation>
    </message>
    <message>
      <source>Licence</source>
      <translation>ライセンス</translation>
    </message>
    <message>
      <source>Used for</source>
      <translation>用途</translation>
    </message>
    <message>
      <source>Licence Notes…</source>
      <translation>ライセンス情報…</translation>
    </message>
    <message>
      <source>General upscale network</source>
      <translation>汎用アップスケールネットワーク</translation>
    </message>
    <message>
      <source>Fast upscale network</source>
      <translation>高速アップスケールネットワーク</translation>
    </message>
    <message>
      <source>Subject detection network for cut-outs</source>
      <translation>切り抜き用の被写体検出ネットワーク</translation>
    </message>
    <message>
      <source>WebP encoder</source>
      <translation>WebP エンコーダ</translation>
    </message>
    <message>
      <source>JPEG encoder</source>
      <translation>JPEG エンコーダ</translation>
    </message>
    <message>
      <source>AVIF encoder</source>
      <translation>AVIF エンコーダ</translation>
    </message>
    <message>
      <source>PNG optimiser</source>
      <translation>PNG 最適化ツール</translation>
    </message>
    <message>
      <source>Image decoding, encoding and resampling</source>
      <translation>画像のデコード、エンコード、リサンプリング</translation>
    </message>
    <message>
      <source>Image processing for cut-outs</source>
      <translation>切り抜きの画像処理</translation>
    </message>
    <message>
      <source>Network inference</source>
      <translation>ネットワーク推論</translation>
    </message>
    <message>
      <source>Anime upscale networks</source>
      <translation>アニメ用アップスケールネットワーク</translation>
    </message>
    <message>
      <source>User interface</source>
      <translation>ユーザーインターフェース</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>閉じる</translation>
    </message>
  </context>
</TS>
