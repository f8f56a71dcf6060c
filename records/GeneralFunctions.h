#pragma once
#include <QString>
#include <functional>

// Small shared helpers: paths, temporary and unique names, size and time texts.
// Each catches its own failures (LogError) and returns what it held, except FileSizeOf.

// path with "/" appended unless it already ends with one.
QString WithTrailingBackslash(const QString& path);
// Copies source to destination; false when destination exists or the copy fails.
bool CopyFileIfAbsent(const QString& source, const QString& destination);
// The system's temporary folder, with a trailing "/".
QString SystemTempFolder();
// The size of a file. Throws std::runtime_error when it cannot be opened for reading.
qint64 FileSizeOf(const QString& name);

// count characters from "0"-"9" and "A"-"Y" (A to G twice as likely, never Z).
QString GenerateRandomAlphaNums(int count);
// A fresh name for a download's files: tempDir (created when missing) + "/" + eight
// random characters, without extension; no file of that name with or without any
// extension exists there. Empty when the folder cannot be made.
QString GetTempFileName(const QString& tempDir);
// The same with the names drawn by drawName instead of at random.
QString GetTempFileName(const QString& tempDir, const std::function<QString()>& drawName);

// "hh:mm:ss" (hours may have more digits); "Number out of range" when negative.
QString SecondsToTimeString(qint64 seconds);
// The reverse of SecondsToTimeString, for sorting and summing times left; 0 for a text
// that is not of that form ("N/A").
qint64 TimeStringToSeconds(const QString& text);
// "1024 B", "2 kB", "3.00 MB", "1.50 GB" (decimals in the user's locale); the
// translated "Unknown" for -1.
QString BytesToPresentableString(qint64 bytes);

// Every "%20" as a blank (URL file names becoming local file names).
QString DecodeSpaces(const QString& text);
// Tells whether some download already uses a local file name.
using TFileNameInUse = std::function<bool(const QString&)>;
// path itself when no such file exists and no download uses it, else the first free
// one of base(1).ext, base(2).ext, ...
QString GetUniqueFileName(const QString& path, const TFileNameInUse& inUse = {});
// number in decimal with leading "0"s up to width characters.
QString PadNumber(qint64 number, int width);
// True when name has a "." and every character after the first one is a decimal
// digit: the part files of a download ("ABCD1234.0", "ABCD1234.1048576").
bool IsPartFileName(const QString& name);
