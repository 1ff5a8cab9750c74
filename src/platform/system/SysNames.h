// File names as the system holds them. A name on this system is a string of
// bytes, usually UTF-8, but a file made on a KOI8-R or CP1251 system, or
// unpacked from an old archive, may carry bytes that are not. Such a file must
// open, save and get its backups and lock like any other, so every file call
// turns a name into bytes and back through this codec, never through Qt's
// lossy one (QFile::encodeName turns the kept bytes into other ones).
//
// Decoding keeps each byte that is not part of valid UTF-8 as the lone
// surrogate U+DC00 + byte (U+DC80..U+DCFF; bytes below 0x80 are always
// ASCII). Invalid UTF-8 is: a stray continuation byte, a truncated sequence,
// an overlong form, an encoded surrogate (ED A0 80..ED BF BF) and a code
// point past U+10FFFF. Encoding writes each lone U+DC80..U+DCFF as its byte
// and everything else as UTF-8, so EncodeSystemName(DecodeSystemName(b)) == b
// for every byte string b.
#pragma once

#include <QByteArray>
#include <QString>

namespace zorbel {

QString DecodeSystemName(const QByteArray &Bytes);
// The bytes of Name. A lone surrogate that decoding never makes (a high one,
// or U+DC00..U+DC7F) becomes U+FFFD, as it names no byte.
QByteArray EncodeSystemName(const QString &Name);
// True when Name holds a kept byte (a lone surrogate): such a name is shown
// with ShownName and stored escaped (the settings file).
bool NameHasLostBytes(const QString &Name);
// Name for the eye: each lone surrogate as U+FFFD. Never a name for a file call.
QString ShownName(const QString &Name);

} // namespace zorbel
