<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>AppLanguage</name>
    <message>
        <source>System Default</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>BackgroundRemoverError</name>
    <message>
        <source>Failed to generate a mask from the detected subject: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to convert mask pixel buffer to CGImage: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vision request failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No foreground subject was detected in the image.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ConversionError</name>
    <message>
        <source>Process exited with code %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image decoding failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>BMP export failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output file was not created</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ConversionViewModel</name>
    <message>
        <source>Cancelling conversion</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CutoutMode</name>
    <message>
        <source>Clean Edges</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lossless</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clean Edges: AI person matting with halo-free, smooth edges — best for photos of people. Lossless: subject mask only; foreground pixels stay byte-for-byte identical.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CutoutPipelineError</name>
    <message>
        <source>Could not read source image at %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CutoutViewModel</name>
    <message>
        <source>Mask export failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelling processing</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DescribedError</name>
    <message>
        <source>Not enough memory for this image.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown error.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DnnUpscalerError</name>
    <message>
        <source>AI upscale model (</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>) is not bundled in this build. Run ml-conversion/convert_realesrgan.py to produce it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upscale inference failed: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DropZoneView</name>
    <message>
        <source>Images</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileService</name>
    <message>
        <source>Could not create the folder %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageConverter</name>
    <message>
        <source>Could not write to the folder %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not write the output file: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not find a free name for %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageServices</name>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MoveWithoutReplacing</name>
    <message>
        <source>Could not save %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NamingMode</name>
    <message>
        <source>Original</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suffix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OutputFolderRow</name>
    <message>
        <source>(Same folder as input)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PNGQuantizer</name>
    <message>
        <source>Image decoding failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pixel buffer creation failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Color quantization failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PNG write failed</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RootView</name>
    <message>
        <source>%1 is not available yet.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusCell</name>
    <message>
        <source>Waiting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TabKind</name>
    <message>
        <source>Compress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cutout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upscale</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ToolError</name>
    <message>
        <source>CLI tool &apos;%1&apos; not found. Place binaries in Resources/bin/.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>App bundle resource path not found.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpscaleModel</name>
    <message>
        <source>General 4x</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Anime / Illustration 4x</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General 2x</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpscaleOutputFormat</name>
    <message>
        <source>PNG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JPEG</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpscalePipelineError</name>
    <message>
        <source>Could not read source image at </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to write upscaled image to </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to merge upscaled tiles into final image.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The upscaled image would be %1 × %2 pixels, more than the %3 megapixels this program holds in memory.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpscaleStyle</name>
    <message>
        <source>Auto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Anime / Illustration</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpscaleViewModel</name>
    <message>
        <source>Cancelling upscaling</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::AcknowledgementsView</name>
    <message>
        <source>Acknowledgements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Third-party license information is unavailable.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::AppSettingsView</name>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language changes take effect after you restart Glintwork.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Acknowledgements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restart Required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language changes take effect after restarting Glintwork.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::CompactDropZoneView</name>
    <message>
        <source>Drop additional images here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add images (drag &amp; drop)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::CompressSettingsBar</name>
    <message>
        <source>Format:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quality:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quality</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max width:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max height:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>px</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Web Optimal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Balance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>High Quality</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::CompressView</name>
    <message>
        <source>Open in File Manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Conversion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelling…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::DropZoneView</name>
    <message>
        <source>Drop image files here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag &amp; drop images here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>or</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::FileListModel</name>
    <message>
        <source>Converting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Convert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::FileListView</name>
    <message>
        <source>Converting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::MainWindow</name>
    <message>
        <source>Check for Updates…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Glintwork</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You&apos;re up to date!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Glintwork %1 is currently the newest version available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A new version of Glintwork is available!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Glintwork %1 is now available; you have %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Download Page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An error occurred while checking for updates: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::NamingView</name>
    <message>
        <source>Filename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use original filenames</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suffix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use {scale} to insert the upscale factor (e.g., -upscaled-4x)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::OutputFolderRow</name>
    <message>
        <source>Output:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use Input Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose Output Folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::RootView</name>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::SummaryView</name>
    <message>
        <source>Converting...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1/%2 files</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::TabBar</name>
    <message>
        <source>Tab</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>glintwork::UpdateChecker</name>
    <message>
        <source>The update feed could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
