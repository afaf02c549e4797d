// ondaris: the acquisition window over the real box (libusb). Only --help
// and --version are read; settings come from config_en_cours.txt and the
// window.
#include "app/fenetre/application.h"
#include "device/usb_libusb.h"

const char* const AIDE = "Usage : ondaris [--help] [--version]\n"
                         "La fenêtre d'acquisition de l'Ondaris 1024, sur le boîtier branché en USB.\n"
                         "Les réglages sont lus dans config_en_cours.txt du répertoire courant au démarrage,\n"
                         "et y sont réécrits à chaque Start. Les autres arguments sont ceux de Qt\n"
                         "(par exemple -platform).\n"
                         "\n"
                         "  --help     cette aide\n"
                         "  --version  version du programme\n";

int main(int argc, char** argv)
{
    int code = 0;
    if (repond_ligne_commande(argc, argv, "ondaris", AIDE, code))
        return code;
    LibusbApi usb;
    return execute_fenetre(argc, argv, usb, std::string(), nullptr);
}
