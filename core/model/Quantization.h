#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The quantisation label named in a file or model name ("Q4_K_M", "bf16", "fp16", "f32"), if any.
// The first listed token found wins, whatever its position in the name.
[[nodiscard]] std::optional<QString> parseQuantization(QStringView name);
