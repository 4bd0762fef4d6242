#pragma once

// What the windows of the Windows front end share: scaling to the screen,
// fonts, text from UTF-8 to UTF-16, the program's pictures and colours.
// (windows.h comes lean and without its min/max macros: see CMakeLists.txt.)
#include <windows.h>

#include <string>
#include <string_view>

namespace win32 {

// The program's module, for its resources and window classes.
HINSTANCE modulo();

// The resolution of the screen `finestra` is on (96 at 100%); every window
// is drawn at its own screen's, and again when it moves to another.
UINT dpiDi(HWND finestra);

// A length in twips (1,440 to the inch) in pixels at `dpi`.
int pixel(int twip, UINT dpi);

// A system metric (GetSystemMetrics) at `dpi`.
int metrica(int indice, UINT dpi);

// Sets the size of `finestra` so that its client area is `larghezza` by
// `altezza` twips at `dpi`, keeping its position.
void dimensionaClient(HWND finestra, int larghezza, int altezza, UINT dpi);

// A control's place in twips, relative to its container.
struct Posto {
    int sinistra, sopra, larghezza, altezza;
};
// Places a child control at `posto` in its parent's client area, moved by
// the container's own place (`dentro`) when it lies in one.
void collocaTwip(HWND controllo, const Posto& posto, UINT dpi, POINT dentro = {0, 0});

// Moves `finestra` so that it stands centred on the work area of the
// monitor that `vicino` (or, without it, the mouse) is on.
void centraSulloSchermo(HWND finestra, HWND vicino = nullptr);

// A font of `punti` points at `dpi`. A face that is not installed gives way
// to Segoe UI, then to Tahoma, so that no text falls back to the system's
// bitmap font.
HFONT creaCarattere(const wchar_t* nome, double punti, int peso, bool corsivo, UINT dpi);

// The run's UTF-8 text as the windows take it, in UTF-16.
std::wstring daUtf8(std::string_view testo);

// The program's star at `lato` pixels, from the icon resource.
HICON iconaProgramma(int lato);
// Sets the star, at the sizes `dpi` asks for, as the icon of `finestra`.
void impostaIcona(HWND finestra, UINT dpi);

// A picture of the program's resources (a PNG) drawn at `larghezza` by
// `altezza` pixels over the windows' white (or, `trasparente`, over
// nothing, with its alpha channel): drawn from a large original so that it
// is sharp at every scale. nullptr if it cannot be drawn.
HBITMAP disegno(int risorsa, int larghezza, int altezza, bool trasparente = false);

// The windows' background.
constexpr COLORREF bianco = RGB(255, 255, 255);
HBRUSH pennelloBianco();

// Whether a run is going on: the windows then show the busy cursor.
extern bool occupato;
// Handles WM_SETCURSOR for a window: the busy cursor during a run.
bool cursoreOccupato();
// Shows the cursor that the window under it wants now, without waiting
// for the mouse to move (after a wait has ended).
void aggiornaCursore();

}  // namespace win32

namespace win32 {

// Draws a picture button the way the program's buttons look: a white face
// with a raised edge (sunken while pressed), and in its middle `immagine`
// or, without one, the button's own text in its own font.
void disegnaPulsante(const DRAWITEMSTRUCT& voce, HBITMAP immagine);

// Gives screen readers `nome` for a control whose kind shows no text of its
// own (lists, a name box); no-op where the system lacks the service.
void nomeAccessibile(HWND controllo, const wchar_t* nome);
// Forgets that name, as the control goes.
void togliNomeAccessibile(HWND controllo);

}  // namespace win32
