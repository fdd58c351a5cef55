#pragma once

#include <QByteArray>
#include <QString>

// The key that the TeamSpeak 3 client's ClientQuery interface asks for: TS3_CLIENTQUERY_APIKEY
// when set, else api_key in the [General] group of clientquery.ini in the client's settings
// folder, where the client writes it. Read anew at each attempt, so a key the user fixes is
// taken without a restart. Never logged.
namespace clientQueryKey {

// The client's settings folder: $HOME/.ts3client, or %APPDATA%\TS3Client on Windows.
QString settingsFolder();
// api_key of the [General] group of an ini file's text; empty when there is none.
QByteArray fromIni(const QByteArray& text);
QByteArray find();

} // namespace clientQueryKey
