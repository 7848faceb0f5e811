// The keyboard side of the console device: console input events become
// characters and extended key codes.
#pragma once
#include <cstdint>

// The character the Enter key gives.
constexpr uint8_t ENTER = 13;

extern uint8_t SCANCODE;     // the code waiting to be delivered; 0 = none
extern bool SPECIALKEY;      // the waiting code is extended: a 0 comes first
extern bool DOINGNUMCHARS;   // a code is being typed with Alt and the keypad
extern uint8_t DOINGNUMCODE; // the code typed so far
extern bool CHECKEOF;        // Ctrl-Z ends a line read as end of file

bool KEYPRESSED();
uint8_t READKEY();
uint8_t REMAPSCANCODE(uint16_t SCANCODE, uint32_t CONTROLKEYSTATE, uint16_t KEYCODE);
