// SPDX-License-Identifier: MIT
// Device actions: paper cut, drawer pulse, self-test page, stored logo.
#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

extern "C" int QUORVEL_CALL AcionaGuilhotina() {
    link::CallGuard guard;
    Command<3> cmd;
    cmd.put(GS, 'V', 0x00);  // GS V 0: full cut
    // On a queue link the cut ends the receipt: its job goes to the spooler.
    return cmd.send() && link::end_of_document();
}

extern "C" int QUORVEL_CALL Abre_Gaveta() {
    link::CallGuard guard;
    Command<5> cmd;
    cmd.put(ESC, 'p', 0x00, 60, 120);  // ESC p: pin 2, on 120 ms, off 240 ms
    return cmd.send();
}

extern "C" int QUORVEL_CALL ImprimeAutoTeste() {
    link::CallGuard guard;
    Command<4> cmd;
    cmd.put(ESC, '@', DC2, 'T');  // ESC @, DC2 T: self-test page
    return cmd.send();
}

extern "C" int QUORVEL_CALL ImprimeLogoNV(int image_number, int justification, int print_mode) {
    link::CallGuard guard;
    Command<9> cmd;
    cmd.put(ESC, '@');
    cmd.put(ESC, 'a', justification);  // low byte as given: no justification mapping here
    cmd.put(FS, 'p', image_number, print_mode);  // FS p n m: stored image n in mode m
    return cmd.send();
}
