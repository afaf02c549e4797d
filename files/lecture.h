// Reading a recording back: the data file (.dat) with its header (.Ond) and
// description (.log). Everything that can be checked is checked, and every
// fault is reported with the file and the place; bad input never stops the
// reader. Frames are read by blocks, never the whole file at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "files/header.h"

// Codes of the words that are not in the channel list: counter A (word 0)
// and the status word.
constexpr int CODE_COMPTEUR_A = 3000;
constexpr int CODE_ETAT = 4000;

// What one frame holds.
struct Disposition {
    int nb_voies = 0; // 32-bit words per frame
    int nb_micros = 0;
    std::vector<int32_t> codes; // code of every word, in frame order
    bool compteur_a = false;    // word 0 is counter A
    // The status word was recorded. Its place in the frame is not known: it
    // is listed last, and the words after it may be shifted by one.
    bool etat = false;
};

// The frame layout the channel model gives for the header's selection bytes,
// with or without the status word.
Disposition disposition_de(const type_header_file& h, bool etat);

// "micro 12", "VA 3", "compteur B", "état".
std::string nom_voie(int code);
// Counter and status words are integers whatever the sample type.
inline bool mot_entier(int code) { return code >= CODE_COMPTEUR_A; }

struct Enregistrement {
    std::string dat, ond, log; // paths
    uint64_t taille = 0;       // bytes of the data file
    type_header_file header{};
    Disposition disposition;
    float frequence = 0; // Hz
    bool flottant = false;
    std::string commentaire;            // UTF-8, without its padding
    uint64_t nb_trames = 0;             // whole frames in the data file
    uint32_t reste = 0;                 // bytes of an unfinished frame at its end
    bool lisible = false;               // the frames can be read with `disposition`
    std::vector<std::string> problemes; // each fault, with its file and place
    std::vector<std::string> remarques; // what a reader of the data should know
};

// Opens NAME.dat and its two companions and checks them: a 2097-byte header,
// selection bytes of 0 or 1, a frequency of the box, a sample type of 0 or 1,
// a valid date, a description that agrees with the header line by line, and a
// data file whose size agrees with the frame size and nb_ech. 0 when nothing
// is wrong; -1 otherwise (the frames may still be readable: see `lisible`).
int lit_enregistrement(const std::string& dat, Enregistrement& e);

// What a recording's files say of how its run ended.
struct Interruption {
    // The run was cut short (the program killed, the power lost): its
    // companions blank beside data, the description still in the room the
    // run kept for it, or a frame count the data file contradicts.
    bool interrompue = false;
    // The header and description files hold nothing (empty, missing, or
    // only the zeros of the room kept for them): nothing of the run's
    // settings is known from them.
    bool compagnons_vierges = false;
    std::string raison; // which, naming the files
};
// A recording with no data file, or abandoned before any byte (empty data
// and companions), was not interrupted.
Interruption interruption(const std::string& dat);

// The command that completes the companions of an interrupted recording.
std::string commande_reparation(const std::string& dat);

// "2026-12-07 09:05:03.250"
std::string date_texte(const type_date_heure& d);

// Whole frames of a data file, read in order by blocks.
class LecteurTrames {
public:
    LecteurTrames() = default;
    LecteurTrames(const LecteurTrames&) = delete;
    LecteurTrames& operator=(const LecteurTrames&) = delete;
    ~LecteurTrames() { ferme(); }

    // Opens `dat` for frames of `nb_voies` words, from frame `premiere` on.
    // -1 with the reason in `erreur` when it cannot.
    int ouvre(const std::string& dat, int nb_voies, uint64_t premiere, std::string& erreur);
    // Reads up to `n` frames into `mots` (n * nb_voies words, host order).
    // Frames read; 0 at the end (an unfinished last frame is left out); -1
    // on a read error.
    int64_t lit(uint32_t* mots, size_t n);
    void ferme();

private:
    std::FILE* f_ = nullptr;
    int nb_voies_ = 0;
};

// Frames per block for a frame size, so that a block is about `octets`
// (at least one frame).
size_t trames_par_bloc(int nb_voies, size_t octets = size_t(16) << 20);

// Counter A of every frame (word 0), which must grow by one from one frame
// to the next, modulo 2^32.
struct Saut {
    uint64_t trame;   // index of the frame
    uint32_t attendu; // the previous frame's counter + 1
    uint32_t lu;
};
struct BilanCompteur {
    uint64_t trames = 0;     // frames checked
    uint64_t nb_sauts = 0;   // frames whose counter did not follow
    std::vector<Saut> sauts; // the first `max_sauts` of them
};

// Checks word 0 of up to `max_trames` frames of `nb_voies` words. After a
// jump the count goes on from the value found. `progression` (optional) is
// given the frames checked so far after each block. 0, or -1 with `erreur`.
int verifie_compteur(const std::string& dat, int nb_voies, uint64_t max_trames, size_t max_sauts, BilanCompteur& bilan,
                     std::string& erreur, const std::function<void(uint64_t)>& progression = {});
