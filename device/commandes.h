// The USB link to the box and its command protocol: vendor control requests
// 0xB0 + n carrying a command code and n argument bytes, and the two bare
// requests 0xC0 / 0xC4.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "device/usb.h"

#include "device/boitier.h"

constexpr uint16_t VENDOR_ONDARIS = 0xFE27;
constexpr uint16_t PRODUCT_ONDARIS = 0xAC02;
constexpr uint8_t REQUEST_TYPE_VENDOR_OUT = 0x40;
constexpr int LIBUSB_LOG_LEVEL = 3;

// Command codes (byte 0 of the command buffer).
enum CodeCommande : uint8_t {
    CMD_RESET_MICROS = 0x00,
    CMD_CLOCK_DIVISION = 0x01,
    CMD_START = 0x02,
    CMD_STOP = 0x03,
    CMD_SAMPLE_COUNT = 0x04,
    CMD_SELECTION = 0x05,
    CMD_DELAY = 0x07,
    CMD_SAMPLE_TYPE = 0x09,
    CMD_FAISCEAUX = 0x0A,
};
constexpr uint8_t REQUEST_RESET_FX3 = 0xC0;
constexpr uint8_t REQUEST_RESET_PH = 0xC4;

// Opens the link: 0 when the box was found and opened, -1 otherwise (the
// alert "Pas de détection de Ondaris !" has then been raised).
int init_USB(Boitier& b);

// The name of a command code or bare request ("Start", "Reset FX3"...).
const char* nom_commande(int code_ou_requete);

// One vendor request; bytes transferred or a negative library code. A
// refusal (a negative code while the link is open) is reported in the pane
// with the request's name and the library's name for the code.
int write_command(Boitier& b, usb::DeviceHandle handle, int request, const unsigned char* data, int length);

// Sends buf[0..nb_arg] as request 0xB0 + nb_arg on the open handle.
int commande(Boitier& b, int nb_arg);

// Puts the code and arguments in the command buffer and sends them; the
// request's result (nb_arg + 1 when the box took it).
int envoie(Boitier& b, uint8_t code, std::initializer_list<uint8_t> args);
