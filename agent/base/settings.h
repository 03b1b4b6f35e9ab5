// The agent's one settings record and the settings file (settings.ini in the
// data folder). The record is read once, on first use, and three of its
// values are written back when the agent's window goes.
#pragma once

#include <optional>
#include <string>

namespace vexlo {

class CSettings {
public:
    std::u16string GetSoapServer() const { return soapServer; }
    std::u16string GetLogFile() const { return logFile; }
    std::u16string GetWiaScannerName() const { return wiaScannerName; }

    std::u16string soapServer;  // [settings] soap-server; empty: the built-in endpoint
    int traceLevel = 0;         // [settings] trace-level; the highest log level written
    std::u16string logFile;     // [settings] log-file; empty: the default log
    int scanMode = 1;           // [settings] scan-mode; 1 automatic, 2 WIA, 3 TWAIN
    // [wia] wia-scanner: the remembered WIA device id. No value at all (no id
    // read and none set) removes the key when saved; an empty id is saved as
    // an empty value.
    std::optional<std::u16string> wiaScanner;
    std::u16string wiaScannerName;  // [wia] wia-scanner-name
};

// The single record, created with the defaults and loaded from the settings
// file on the first call. Only the GUI thread creates, changes and frees it;
// the workers read traceLevel and soapServer, which nothing changes.
CSettings* GetSettings();
// Reads every key from the file at path into the single record.
void LoadSettings(const std::u16string& path);
// Writes wia-scanner, wia-scanner-name and scan-mode of the single record.
void SaveSettings(const std::u16string& path);
// Frees the single record; a later GetSettings makes and loads a fresh one.
void FreeSettings();

}  // namespace vexlo
