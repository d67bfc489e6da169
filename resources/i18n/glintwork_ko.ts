<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR" sourcelanguage="en">
  <context>
    <name>AppLanguage</name>
    <message>
      <source>System Default</source>
      <translation>시스템 기본값</translation>
    </message>
  </context>
  <context>
    <name>CutoutErrors</name>
    <message>
      <source>Failed to generate a mask from the detected subject: </source>
      <translation>감지된 피사체에서 마스크를 생성하지 못했습니다: </translation>
    </message>
    <message>
      <source>No foreground subject was detected in the image.</source>
      <translation>이미지에서 전경 피사체를 찾지 못했습니다.</translation>
    </message>
    <message>
      <source>The image could not be prepared from the subject mask: </source>
      <translation>피사체 마스크로 이미지를 준비할 수 없습니다: </translation>
    </message>
    <message>
      <source>Subject detection failed: </source>
      <translation>피사체 감지에 실패했습니다: </translation>
    </message>
  </context>
  <context>
    <name>ConversionError</name>
    <message>
      <source>Image decoding failed</source>
      <translation>이미지 디코딩에 실패했습니다</translation>
    </message>
    <message>
      <source>TGA export failed: %1</source>
      <translation>TGA 내보내기에 실패했습니다: %1</translation>
    </message>
    <message>
      <source>Output file was not created</source>
      <translation>출력 파일이 생성되지 않았습니다</translation>
    </message>
    <message>
      <source>The encoder could not convert this file (exit status %1): %2</source>
      <translation>인코더가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
    <message>
      <source>The WebP encoder could not convert this file (exit status %1): %2</source>
      <translation>WebP 인코더가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
    <message>
      <source>The JPEG encoder could not convert this file (exit status %1): %2</source>
      <translation>JPEG 인코더가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
    <message>
      <source>The AVIF encoder could not convert this file (exit status %1): %2</source>
      <translation>AVIF 인코더가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
    <message>
      <source>The HEIC encoder could not convert this file (exit status %1): %2</source>
      <translation>HEIC 인코더가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
    <message>
      <source>The PNG optimiser could not convert this file (exit status %1): %2</source>
      <translation>PNG 최적화 도구가 이 파일을 변환하지 못했습니다(종료 상태 %1): %2</translation>
    </message>
  </context>
  <context>
    <name>CompressDriver</name>
    <message>
      <source>Cancelling conversion</source>
      <translation>변환을 취소하는 중</translation>
    </message>
  </context>
  <context>
    <name>CutoutMode</name>
    <message>
      <source>Clean Edges</source>
      <translation>깔끔한 가장자리</translation>
    </message>
    <message>
      <source>Lossless</source>
      <translation>무손실</translation>
    </message>
    <message>
      <source>Clean Edges: AI person matting with halo-free, smooth edges — best for photos of people. Lossless: subject mask only; foreground pixels stay byte-for-byte identical.</source>
      <translation>깔끔한 가장자리: AI 인물 분리로 번짐 없이 매끄러운 가장자리를 만듭니다. 인물 사진에 가장 좋습니다. 무손실: 피사체 마스크만 사용하며 전경 픽셀은 바이트 단위까지 그대로 유지됩니다.</translation>
    </message>
  </context>
  <context>
    <name>CutoutPipeline</name>
    <message>
      <source>Could not read source image at %1.</source>
      <translation>%1의 원본 이미지를 읽을 수 없습니다.</translation>
    </message>
  </context>
  <context>
    <name>CutoutDriver</name>
    <message>
      <source>Mask export failed: </source>
      <translation>마스크 내보내기에 실패했습니다: </translation>
    </message>
    <message>
      <source>Cancelling processing</source>
      <translation>처리를 취소하는 중</translation>
    </message>
  </context>
  <context>
    <name>Error</name>
    <message>
      <source>Not enough memory for this image.</source>
      <translation>이 이미지를 처리할 메모리가 부족합니다.</translation>
    </message>
    <message>
      <source>Unknown error.</source>
      <translation>알 수 없는 오류입니다.</translation>
    </message>
  </context>
  <context>
    <name>UpscaleErrors</name>
    <message>
      <source>AI upscale model (</source>
      <translation>AI 업스케일 모델(</translation>
    </message>
    <message>
      <source>) is not installed. Install the glintwork-models package, or run scripts/setup-models in a source checkout.</source>
      <translation>)이 설치되어 있지 않습니다. glintwork-models 패키지를 설치하거나, 소스 체크아웃에서 scripts/setup-models를 실행하세요.</translation>
    </message>
    <message>
      <source>Upscale inference failed: </source>
      <translation>업스케일 추론에 실패했습니다: </translation>
    </message>
  </context>
  <context>
    <name>DropZoneView</name>
    <message>
      <source>Images</source>
      <translation>이미지</translation>
    </message>
  </context>
  <context>
    <name>FileService</name>
    <message>
      <source>Could not create the folder %1: %2</source>
      <translation>%1 폴더를 만들 수 없습니다: %2</translation>
    </message>
  </context>
  <context>
    <name>ImageConverter</name>
    <message>
      <source>Could not write to the folder %1: %2</source>
      <translation>%1 폴더에 쓸 수 없습니다: %2</translation>
    </message>
    <message>
      <source>Could not write the output file: %1</source>
      <translation>출력 파일을 쓸 수 없습니다: %1</translation>
    </message>
    <message>
      <source>Could not find a free name for %1</source>
      <translation>%1에 사용할 수 있는 이름을 찾지 못했습니다</translation>
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
      <translation>%1을(를) 저장할 수 없습니다: %2</translation>
    </message>
  </context>
  <context>
    <name>NamingMode</name>
    <message>
      <source>Original</source>
      <translation>원본</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>접미사</translation>
    </message>
    <message>
      <source>Custom</source>
      <translation>사용자 지정</translation>
    </message>
  </context>
  <context>
    <name>OutputFolderRow</name>
    <message>
      <source>(Same folder as input)</source>
      <translation>(입력과 같은 폴더)</translation>
    </message>
  </context>
  <context>
    <name>PNGQuantizer</name>
    <message>
      <source>Image decoding failed</source>
      <translation>이미지 디코딩에 실패했습니다</translation>
    </message>
    <message>
      <source>Pixel buffer creation failed</source>
      <translation>픽셀 버퍼를 만들지 못했습니다</translation>
    </message>
    <message>
      <source>Color quantization failed</source>
      <translation>색상 양자화에 실패했습니다</translation>
    </message>
    <message>
      <source>PNG write failed</source>
      <translation>PNG 쓰기에 실패했습니다</translation>
    </message>
  </context>
  <context>
    <name>StatusCell</name>
    <message>
      <source>Waiting</source>
      <translation>대기 중</translation>
    </message>
    <message>
      <source>Done</source>
      <translation>완료</translation>
    </message>
    <message>
      <source>Cancelled</source>
      <translation>취소됨</translation>
    </message>
    <message>
      <source>Error</source>
      <translation>오류</translation>
    </message>
  </context>
  <context>
    <name>TabKind</name>
    <message>
      <source>Compress</source>
      <translation>압축</translation>
    </message>
    <message>
      <source>Cutout</source>
      <translation>배경 제거</translation>
    </message>
    <message>
      <source>Upscale</source>
      <translation>업스케일</translation>
    </message>
  </context>
  <context>
    <name>ToolManager</name>
    <message>
      <source>The program&apos;s resource folder is missing from the installation.</source>
      <translation>프로그램의 리소스 폴더가 설치에 없습니다.</translation>
    </message>
    <message>
      <source>The helper program &apos;%1&apos; is missing from the installation (it belongs in Resources/bin).</source>
      <translation>보조 프로그램 &apos;%1&apos;이(가) 설치에 없습니다(Resources/bin에 있어야 합니다).</translation>
    </message>
  </context>
  <context>
    <name>UpscaleModel</name>
    <message>
      <source>General 4x</source>
      <translation>일반 4x</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x</source>
      <translation>애니메이션 / 일러스트 4x</translation>
    </message>
    <message>
      <source>General 2x</source>
      <translation>일반 2x</translation>
    </message>
    <message>
      <source>General 4x (fast)</source>
      <translation>일반 4x (빠름)</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x (fast)</source>
      <translation>애니메이션 / 일러스트 4x (빠름)</translation>
    </message>
    <message>
      <source>Anime / Illustration 2x</source>
      <translation>애니메이션 / 일러스트 2x</translation>
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
      <translation>원본 이미지를 읽을 수 없습니다: </translation>
    </message>
    <message>
      <source>Failed to write upscaled image to </source>
      <translation>업스케일한 이미지를 쓰지 못했습니다: </translation>
    </message>
    <message>
      <source>Failed to merge upscaled tiles into final image.</source>
      <translation>업스케일한 타일을 최종 이미지로 합치지 못했습니다.</translation>
    </message>
    <message>
      <source>The upscaled image would be %1 × %2 pixels, more than the %3 megapixels this program holds in memory.</source>
      <translation>업스케일한 이미지는 %1 × %2 픽셀로, 이 프로그램이 메모리에 담을 수 있는 %3메가픽셀을 넘습니다.</translation>
    </message>
  </context>
  <context>
    <name>UpscaleQuality</name>
    <message>
      <source>Best</source>
      <translation>최고 품질</translation>
    </message>
    <message>
      <source>Fast</source>
      <translation>빠름</translation>
    </message>
  </context>
  <context>
    <name>UpscaleStyle</name>
    <message>
      <source>Auto</source>
      <translation>자동</translation>
    </message>
    <message>
      <source>General photo</source>
      <translation>일반 사진</translation>
    </message>
    <message>
      <source>Anime / Illustration</source>
      <translation>애니메이션 / 일러스트</translation>
    </message>
  </context>
  <context>
    <name>UpscaleDriver</name>
    <message>
      <source>Cancelling upscaling</source>
      <translation>업스케일을 취소하는 중</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AcknowledgementsView</name>
    <message>
      <source>Acknowledgements</source>
      <translation>감사의 말</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>닫기</translation>
    </message>
    <message>
      <source>Third-party license information is unavailable.</source>
      <translation>타사 라이선스 정보를 사용할 수 없습니다.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AppSettingsView</name>
    <message>
      <source>Settings</source>
      <translation>설정</translation>
    </message>
    <message>
      <source>Language</source>
      <translation>언어</translation>
    </message>
    <message>
      <source>Language changes take effect after you restart Glintwork.</source>
      <translation>언어 변경은 Glintwork를 다시 시작하면 적용됩니다.</translation>
    </message>
    <message>
      <source>About</source>
      <translation>정보</translation>
    </message>
    <message>
      <source>Acknowledgements</source>
      <translation>감사의 말</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>닫기</translation>
    </message>
    <message>
      <source>Restart Required</source>
      <translation>다시 시작해야 합니다</translation>
    </message>
    <message>
      <source>Language changes take effect after restarting Glintwork.</source>
      <translation>언어 변경은 Glintwork를 다시 시작한 후에 적용됩니다.</translation>
    </message>
    <message>
      <source>Quit Now</source>
      <translation>지금 종료</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>나중에</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListModel</name>
    <message>
      <source>%1 percent</source>
      <translation>%1퍼센트</translation>
    </message>
    <message>
      <source>File</source>
      <translation>파일</translation>
    </message>
    <message>
      <source>Convert</source>
      <translation>변환</translation>
    </message>
    <message>
      <source>Size</source>
      <translation>크기</translation>
    </message>
    <message>
      <source>Ratio</source>
      <translation>비율</translation>
    </message>
    <message>
      <source>Status</source>
      <translation>상태</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListView</name>
    <message>
      <source>Delete</source>
      <translation>삭제</translation>
    </message>
    <message>
      <source>%1 %</source>
      <translation>%1%</translation>
    </message>
    <message>
      <source>File Failed</source>
      <translation>파일 처리 실패</translation>
    </message>
    <message>
      <source>Warning</source>
      <translation>경고</translation>
    </message>
    <message>
      <source>%1 could not be processed.</source>
      <translation>%1을(를) 처리할 수 없습니다.</translation>
    </message>
    <message>
      <source>%1 was written, with a warning.</source>
      <translation>%1이(가) 저장되었지만 경고가 있습니다.</translation>
    </message>
    <message>
      <source>OK</source>
      <translation>확인</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchSummaryView</name>
    <message>
      <source>%1/%2 files</source>
      <translation>%1/%2개 파일</translation>
    </message>
    <message>
      <source>Less than a minute left</source>
      <translation>1분 미만 남음</translation>
    </message>
    <message numerus="yes">
      <source>About %n min left</source>
      <translation><numerusform>약 %n분 남음</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>About %n h left</source>
      <translation><numerusform>약 %n시간 남음</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n failed</source>
      <translation><numerusform>%n개 실패</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n cancelled</source>
      <translation><numerusform>%n개 취소됨</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchToolView</name>
    <message>
      <source>Open in File Manager</source>
      <translation>파일 관리자에서 열기</translation>
    </message>
    <message>
      <source>Clear</source>
      <translation>지우기</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>취소</translation>
    </message>
    <message>
      <source>Cancelling…</source>
      <translation>취소하는 중…</translation>
    </message>
    <message>
      <source>%1: %2</source>
      <translation>%1: %2</translation>
    </message>
    <message numerus="yes">
      <source>and %n more</source>
      <translation><numerusform>외 %n개</numerusform></translation>
    </message>
    <message>
      <source>Some files could not be added</source>
      <translation>일부 파일을 추가할 수 없습니다</translation>
    </message>
    <message numerus="yes">
      <source>%n item(s) could not be added:</source>
      <translation><numerusform>항목 %n개를 추가할 수 없습니다:</numerusform></translation>
    </message>
    <message>
      <source>All files are done — clear the list or add files</source>
      <translation>모든 파일이 완료되었습니다 — 목록을 지우거나 파일을 추가하세요</translation>
    </message>
    <message>
      <source>Run All Again</source>
      <translation>모두 다시 실행</translation>
    </message>
    <message>
      <source>No File Manager</source>
      <translation>파일 관리자 없음</translation>
    </message>
    <message>
      <source>No file manager is set up to open folders.</source>
      <translation>폴더를 열 파일 관리자가 설정되어 있지 않습니다.</translation>
    </message>
    <message>
      <source>The output folder is %1</source>
      <translation>출력 폴더는 %1입니다</translation>
    </message>
    <message>
      <source>Copy Path</source>
      <translation>경로 복사</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>닫기</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BeforeAfterView</name>
    <message>
      <source>Before and after</source>
      <translation>처리 전과 후</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>드래그하여 비교 — 왼쪽: 원본, 오른쪽: 업스케일</translation>
    </message>
    <message>
      <source>Before</source>
      <translation>전</translation>
    </message>
    <message>
      <source>After</source>
      <translation>후</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompactDropZoneView</name>
    <message>
      <source>Drop additional images here</source>
      <translation>추가 이미지를 여기에 놓으세요</translation>
    </message>
    <message>
      <source>Add images (drag &amp; drop)</source>
      <translation>이미지 추가 (드래그 앤 드롭)</translation>
    </message>
    <message>
      <source>Click to choose images, or drop them here</source>
      <translation>클릭하여 이미지를 선택하거나 여기에 놓으세요</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>형식:</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>품질:</translation>
    </message>
    <message>
      <source>Quality</source>
      <translation>품질</translation>
    </message>
    <message>
      <source>Resize</source>
      <translation>크기 조정</translation>
    </message>
    <message>
      <source>Max width:</source>
      <translation>최대 너비:</translation>
    </message>
    <message>
      <source>Max height:</source>
      <translation>최대 높이:</translation>
    </message>
    <message>
      <source>px</source>
      <translation>px</translation>
    </message>
    <message>
      <source>Web Optimal</source>
      <translation>웹 최적</translation>
    </message>
    <message>
      <source>Balance</source>
      <translation>균형</translation>
    </message>
    <message>
      <source>High Quality</source>
      <translation>고화질</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressView</name>
    <message>
      <source>Start Conversion</source>
      <translation>변환 시작</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutSettingsBar</name>
    <message>
      <source>Mode:</source>
      <translation>모드:</translation>
    </message>
    <message>
      <source>Format:</source>
      <translation>형식:</translation>
    </message>
    <message>
      <source>Export mask separately</source>
      <translation>마스크 따로 내보내기</translation>
    </message>
    <message>
      <source>Writes a grayscale PNG mask alongside the cutout, using the same basename plus -mask.</source>
      <translation>잘라낸 이미지와 같은 이름에 -mask를 붙인 회색조 PNG 마스크를 함께 저장합니다.</translation>
    </message>
    <message>
      <source>Only plain backgrounds can be cut out: install the segmentation network with scripts/setup-models.</source>
      <translation>단색 배경만 잘라낼 수 있습니다. scripts/setup-models로 분할 네트워크를 설치하세요.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutView</name>
    <message>
      <source>Processing</source>
      <translation>처리 중</translation>
    </message>
    <message>
      <source>Processing...</source>
      <translation>처리 중...</translation>
    </message>
    <message>
      <source>Start Processing</source>
      <translation>처리 시작</translation>
    </message>
  </context>
  <context>
    <name>glintwork::DropZoneView</name>
    <message>
      <source>Drop image files here</source>
      <translation>이미지 파일을 여기에 놓으세요</translation>
    </message>
    <message>
      <source>Drag &amp; drop images here</source>
      <translation>여기에 이미지를 끌어다 놓으세요</translation>
    </message>
    <message>
      <source>or</source>
      <translation>또는</translation>
    </message>
    <message>
      <source>Select Files</source>
      <translation>파일 선택</translation>
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
      <translation>변환 중</translation>
    </message>
  </context>
  <context>
    <name>glintwork::MainWindow</name>
    <message>
      <source>Check for Updates…</source>
      <translation>업데이트 확인…</translation>
    </message>
    <message>
      <source>Settings…</source>
      <translation>설정…</translation>
    </message>
    <message>
      <source>Quit Glintwork</source>
      <translation>Glintwork 종료</translation>
    </message>
    <message>
      <source>You&apos;re up to date!</source>
      <translation>최신 버전을 사용 중입니다!</translation>
    </message>
    <message>
      <source>Glintwork %1 is currently the newest version available.</source>
      <translation>Glintwork %1이(가) 현재 최신 버전입니다.</translation>
    </message>
    <message>
      <source>A new version of Glintwork is available!</source>
      <translation>Glintwork의 새 버전이 있습니다!</translation>
    </message>
    <message>
      <source>Glintwork %1 is now available; you have %2.</source>
      <translation>Glintwork %1을(를) 사용할 수 있습니다. 현재 버전은 %2입니다.</translation>
    </message>
    <message>
      <source>Open Download Page</source>
      <translation>다운로드 페이지 열기</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>나중에</translation>
    </message>
    <message>
      <source>Update Error!</source>
      <translation>업데이트 오류!</translation>
    </message>
    <message>
      <source>An error occurred while checking for updates: %1</source>
      <translation>업데이트를 확인하는 중 오류가 발생했습니다: %1</translation>
    </message>
    <message>
      <source>Add Folder</source>
      <translation>폴더 추가</translation>
    </message>
    <message>
      <source>Add Files</source>
      <translation>파일 추가</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <translation>파일(&amp;F)</translation>
    </message>
    <message>
      <source>Add Files…</source>
      <translation>파일 추가…</translation>
    </message>
    <message>
      <source>Add Folder…</source>
      <translation>폴더 추가…</translation>
    </message>
    <message>
      <source>Open Output Folder</source>
      <translation>출력 폴더 열기</translation>
    </message>
    <message>
      <source>Quit</source>
      <translation>종료</translation>
    </message>
    <message>
      <source>&amp;Edit</source>
      <translation>편집(&amp;E)</translation>
    </message>
    <message>
      <source>Select All</source>
      <translation>모두 선택</translation>
    </message>
    <message>
      <source>Remove</source>
      <translation>제거</translation>
    </message>
    <message>
      <source>Clear List</source>
      <translation>목록 지우기</translation>
    </message>
    <message>
      <source>&amp;Help</source>
      <translation>도움말(&amp;H)</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Glintwork 정보</translation>
    </message>
    <message>
      <source>Cancel the running batch and quit?</source>
      <translation>실행 중인 일괄 작업을 취소하고 종료할까요?</translation>
    </message>
    <message>
      <source>Files not finished yet are not written.</source>
      <translation>아직 완료되지 않은 파일은 저장되지 않습니다.</translation>
    </message>
    <message>
      <source>Cancel Batch and Quit</source>
      <translation>취소하고 종료</translation>
    </message>
    <message>
      <source>Keep Running</source>
      <translation>계속 실행</translation>
    </message>
  </context>
  <context>
    <name>glintwork::NamingView</name>
    <message>
      <source>Filename</source>
      <translation>파일 이름</translation>
    </message>
    <message>
      <source>Use original filenames</source>
      <translation>원래 파일 이름 사용</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>접미사</translation>
    </message>
    <message>
      <source>Use {scale} to insert the upscale factor (e.g., -upscaled-4x)</source>
      <translation>{scale}을(를) 넣으면 업스케일 배율이 들어갑니다 (예: -upscaled-4x)</translation>
    </message>
    <message>
      <source>Prefix</source>
      <translation>접두사</translation>
    </message>
    <message>
      <source>Start</source>
      <translation>시작 번호</translation>
    </message>
  </context>
  <context>
    <name>glintwork::OutputFolderRow</name>
    <message>
      <source>Output:</source>
      <translation>출력:</translation>
    </message>
    <message>
      <source>Change Folder</source>
      <translation>폴더 변경</translation>
    </message>
    <message>
      <source>Use Input Folder</source>
      <translation>입력 폴더 사용</translation>
    </message>
    <message>
      <source>Choose Output Folder</source>
      <translation>출력 폴더 선택</translation>
    </message>
  </context>
  <context>
    <name>glintwork::RootView</name>
    <message>
      <source>Settings</source>
      <translation>설정</translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) compressed</source>
      <translation><numerusform>파일 %n개 압축됨</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) cut out</source>
      <translation><numerusform>파일 %n개 배경 제거됨</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) upscaled</source>
      <translation><numerusform>파일 %n개 업스케일됨</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>, %n failed</source>
      <translation><numerusform>, %n개 실패</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::SummaryView</name>
    <message>
      <source>Converting...</source>
      <translation>변환 중...</translation>
    </message>
  </context>
  <context>
    <name>glintwork::TabBar</name>
    <message>
      <source>Tab</source>
      <translation>탭</translation>
    </message>
    <message>
      <source>%1 (%2)</source>
      <translation>%1 (%2)</translation>
    </message>
    <message>
      <source>Running</source>
      <translation>실행 중</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpdateChecker</name>
    <message>
      <source>The update feed could not be read.</source>
      <translation>업데이트 피드를 읽을 수 없습니다.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleFileListView</name>
    <message>
      <source>Upscaling</source>
      <translation>업스케일 중</translation>
    </message>
    <message>
      <source>Preview</source>
      <translation>미리 보기</translation>
    </message>
    <message>
      <source>(fast)</source>
      <translation>(빠름)</translation>
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
      <translation>닫기</translation>
    </message>
    <message>
      <source>Loading</source>
      <translation>불러오는 중</translation>
    </message>
    <message>
      <source>%1 × %2 px (original)</source>
      <translation>%1 × %2 px (원본)</translation>
    </message>
    <message>
      <source>%1 × %2 px</source>
      <translation>%1 × %2 px</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>드래그하여 비교 — 왼쪽: 원본, 오른쪽: 업스케일</translation>
    </message>
    <message>
      <source>Input preview</source>
      <translation>입력 이미지 미리 보기</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>형식:</translation>
    </message>
    <message>
      <source>Style:</source>
      <translation>스타일:</translation>
    </message>
    <message>
      <source>Scale:</source>
      <translation>배율:</translation>
    </message>
    <message>
      <source>Anime / illustration has one 2x network; Quality applies at 4x.</source>
      <translation>애니메이션 / 일러스트의 2배 모델은 하나뿐입니다. 품질은 4배에서 적용됩니다.</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>품질:</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleView</name>
    <message>
      <source>Upscaling...</source>
      <translation>업스케일 중...</translation>
    </message>
    <message>
      <source>Start Upscaling</source>
      <translation>업스케일 시작</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AboutView</name>
    <message>
      <source>Version %1</source>
      <translation>버전 %1</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Glintwork 정보</translation>
    </message>
    <message>
      <source>Glintwork ships with these networks, encoders and libraries, each under its own licence:</source>
      <translation>Glintwork에는 다음 네트워크, 인코더, 라이브러리가 포함되어 있으며 각각 고유한 라이선스를 따릅니다:</translation>
    </message>
    <message>
      <source>Component</source>
      <translation>구성 요소</translation>
    </message>
    <message>
      <source>Licence</source>
      <translation>라이선스</translation>
    </message>
    <message>
      <source>Used for</source>
      <translation>용도</translation>
    </message>
    <message>
      <source>Licence Notes…</source>
      <translation>라이선스 고지…</translation>
    </message>
    <message>
      <source>General upscale network</source>
      <translation>일반 업스케일 네트워크</translation>
    </message>
    <message>
      <source>Fast upscale network</source>
      <translation>빠른 업스케일 네트워크</translation>
    </message>
    <message>
      <source>Subject detection network for cut-outs</source>
      <translation>배경 제거용 피사체 감지 네트워크</translation>
    </message>
    <message>
      <source>WebP encoder</source>
      <translation>WebP 인코더</translation>
    </message>
    <message>
      <source>JPEG encoder</source>
      <translation>JPEG 인코더</translation>
    </message>
    <message>
      <source>AVIF encoder</source>
      <translation>AVIF 인코더</translation>
    </message>
    <message>
      <source>PNG optimiser</source>
      <translation>PNG 최적화 도구</translation>
    </message>
    <message>
      <source>Image decoding, encoding and resampling</source>
      <translation>이미지 디코딩, 인코딩 및 리샘플링</translation>
    </message>
    <message>
      <source>Image processing for cut-outs</source>
      <translation>누끼 이미지 처리</translation>
    </message>
    <message>
      <source>Network inference</source>
      <translation>네트워크 추론</translation>
    </message>
    <message>
      <source>Anime upscale networks</source>
      <translation>애니메이션 업스케일 네트워크</translation>
    </message>
    <message>
      <source>User interface</source>
      <translation>사용자 인터페이스</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>닫기</translation>
    </message>
  </context>
</TS>
