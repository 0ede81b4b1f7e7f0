// KVProcs, continued: the small shared helpers of KivoApp (program folder, settings file, list
// splitting, file dialogs, aspect fit) and the skin hook for forms embedded later.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "IniFiles.h"
#include "Strings.h"

namespace kivo {

class TControl;

// KivoApp's folder with a trailing backslash (the folder of the program file).
extern std::wstring ProgramDir;

// A new ini-file object on the program's path with the extension ".ini".
std::unique_ptr<TIniFile> CreateAppIniFile();

// The field from position (1-based) up to the next ";" or the end, trimmed of blanks and control
// characters; position then stands after that ";".
std::wstring NextListField(const std::wstring& text, std::int32_t& position);
// The non-empty fields of a ";"-separated list: "jpg; bmp;;png" adds "jpg", "bmp", "png".
void SplitList(const std::wstring& text, TStrings* list);
// "" for "", the folder unchanged when it ends with ":" or a backslash, else folder + "\".
std::wstring WithTrailingBackslash(const std::wstring& folder);

// Open and save dialogs for files of one extension (".txt"): filter "*.txt|*.txt"; the chosen
// file, or "" when cancelled. With files given, several may be chosen and all are copied there.
std::wstring ExecuteOpenDialog(const std::wstring& defaultExt, TStrings* files);
std::wstring ExecuteSaveDialog(const std::wstring& defaultExt, TStrings* files);

std::int32_t RoundHalfUp(double x);
// Scales width x height to touch the box from inside, up or down, keeping the aspect ratio.
void FitSize(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t& width, std::int32_t& height);

// Skins a form embedded later into a skinned window; does nothing until the main window sets it.
extern std::function<void(TControl*)> SkinFormProc;

}  // namespace kivo
