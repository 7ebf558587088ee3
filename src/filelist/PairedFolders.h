#pragma once

#include <QString>

#include <optional>

// The path rule of synchronized browsing: two folders are paired, one on each side, and every
// folder on one side has its counterpart on the other at the same place relative to the pair.
// Paths are absolute with "/"; a trailing "/" is ignored, and the result has none (except "/").
//
//   pairedFolder("/home/me/site/", "/var/www", "/home/me/site/img/") == "/var/www/img"
//   pairedFolder("/home/me/site/", "/var/www", "/home/me/")          == "/var"
//
// nullopt when the counterpart would lie above the root of the other side.
std::optional<QString> pairedFolder(const QString& pairHere, const QString& pairThere, const QString& folderHere);
