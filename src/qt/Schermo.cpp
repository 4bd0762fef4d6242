#include "qt/Schermo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qt {

namespace {

QtMessageHandler precedente = nullptr;

// Qt's messages while the platform starts, passed on once it has started.
struct Trattenuto {
    QtMsgType tipo;
    QByteArray categoria;
    QString testo;
};
QList<Trattenuto> trattenuti;

void duranteLAvvio(QtMsgType tipo, const QMessageLogContext& contesto, const QString& testo)
{
    if (tipo == QtFatalMsg) {
        // The only fatal message before the QApplication exists: no platform
        // plugin could open its display.
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "Fendrix: impossibile aprire lo schermo%s%s; avviare il programma da una sessione grafica.\n",
                     display != nullptr && *display != '\0' ? " " : "", display != nullptr ? display : "");
        std::_Exit(1);
    }
    trattenuti.append({tipo, QByteArray(contesto.category), testo});
}

bool impostata(const char* variabile)
{
    const char* valore = std::getenv(variabile);
    return valore != nullptr && *valore != '\0';
}

// The platform asked for: "-platform NAME" wins over QT_QPA_PLATFORM.
const char* piattaformaScelta(int argc, char* argv[])
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    const char* valore = std::getenv("QT_QPA_PLATFORM");
    return valore != nullptr && *valore != '\0' ? valore : nullptr;
}

}  // namespace

bool schermoDisponibile(int argc, char* argv[])
{
    bool disponibile = impostata("DISPLAY") || impostata("WAYLAND_DISPLAY");
    if (const char* piattaforma = piattaformaScelta(argc, argv)) {
        // A list such as "wayland;xcb" is tried in order: any one will do.
        disponibile = false;
        for (const char* p = piattaforma; *p != '\0' && !disponibile;) {
            const size_t lunghezza = std::strcspn(p, ";");
            const auto inizia = [&](const char* nome) { return std::strncmp(p, nome, std::strlen(nome)) == 0; };
            if (inizia("xcb"))
                disponibile = impostata("DISPLAY");
            else if (inizia("wayland"))
                disponibile = impostata("WAYLAND_DISPLAY");
            else
                disponibile = lunghezza > 0;  // offscreen, vnc, eglfs...: their own output
            p += lunghezza + (p[lunghezza] == ';' ? 1 : 0);
        }
    }
    if (disponibile)
        precedente = qInstallMessageHandler(duranteLAvvio);
    else
        std::fputs("Fendrix: nessuno schermo disponibile (DISPLAY e WAYLAND_DISPLAY non sono impostate); "
                    "avviare il programma da una sessione grafica.\n",
                    stderr);
    return disponibile;
}

void schermoAperto()
{
    if (precedente == nullptr)
        return;
    qInstallMessageHandler(precedente);
    precedente = nullptr;
    for (const Trattenuto& t : std::exchange(trattenuti, {})) {
        const QMessageLogContext contesto(nullptr, 0, nullptr, t.categoria.constData());
        qt_message_output(t.tipo, contesto, t.testo);
    }
}

}  // namespace qt
