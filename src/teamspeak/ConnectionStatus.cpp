#include "ConnectionStatus.h"

#include "config/ErrorLog.h"
#include "modTSRemote.h"
#include "window/MainWindow.h"

ConnectionStatus::ConnectionStatus(MainWindow& main, modTSRemote& remote, const ErrorLog& log)
    : main_(main), remote_(remote), log_(log) {}

void ConnectionStatus::lblStatus_Change() {
    const ServerDescription server = remote_.GetServerDescription();
    if (logsTrace(main_)) {
        log_.WriteErrorLog(QLatin1String("STAT ") + main_.lblStatus->caption(), 0);
    }
    if (logsTrace(main_)) {
        log_.WriteErrorLog(QLatin1String("VER ") + main_.lblVer->caption(), 0);
    }
    if (main_.lblStatus->caption() == QLatin1String("Connected")) {
        if (logsTrace(main_)) {
            log_.WriteErrorLog(QLatin1String("SVRCON ") + server.serverAddress, 0);
        }
        remote_.DetectNickname();
    }
}
