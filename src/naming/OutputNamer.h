#pragma once

#include <optional>

#include <QSet>
#include <QString>
#include <QUrl>

#include "naming/NamingConfig.h"

namespace glintwork::OutputNamer {

// The output file name without extension. `index` counts the items already started in
// this run; `scaleHint` replaces "{scale}" in a suffix.
[[nodiscard]] QString computeBaseName(const QUrl& input, const NamingConfig& config, int index,
                                      std::optional<int> scaleHint = std::nullopt);

// The given URL, or the first of stem-1.ext, stem-2.ext, ... that names nothing on disk
// and is not reserved.
[[nodiscard]] QUrl ensureUnique(const QUrl& url, const QSet<QUrl>& additionalReserved = {});

// The name ensureUnique numbered `url` from: stem.ext for stem-N.ext (N written as
// ensureUnique writes it) while stem.ext is taken or reserved; otherwise `url` itself.
// Numbering again from there gives stem-2.ext where numbering `url` would give stem-1-1.ext.
[[nodiscard]] QUrl unnumbered(const QUrl& url, const QSet<QUrl>& reserved = {});

// An input's file name without its (last) extension.
[[nodiscard]] QString stemOf(const QUrl& url);

// folder / baseName.extension.
[[nodiscard]] QUrl outputURL(const QUrl& folder, const QString& baseName, const QString& extension);

// The longest file name, in bytes, that the file system holding `folder` takes.
[[nodiscard]] qsizetype nameLimit(const QString& folder);

// `stem` shortened from its middle until stem + tail fits `limit` bytes; the stem's last
// characters stay, since that is where a naming suffix ("-cutout", "-mask") sits, and so
// does the whole tail (a "-N" number and the extension).
[[nodiscard]] QString fittedStem(const QString& stem, const QString& tail, qsizetype limit);

// The shared output folder when one is set, else the input's own folder.
[[nodiscard]] QUrl outputFolder(const QUrl& input, const std::optional<QUrl>& sharedFolder);

} // namespace glintwork::OutputNamer
