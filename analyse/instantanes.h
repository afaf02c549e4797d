// Whole frames to the snapshots of the acoustic map: the samples of the
// microphones used, as floats (in pascals when factors are given), cut into
// snapshots of `points` frames that overlap by half. The map of a recording
// (carte.h) and the live map (carte_directe.h) both take their snapshots
// from here.
//
// The samples are kept microphone by microphone, in a ring of `points`
// frames per microphone, so that a snapshot is handed over without a copy
// and in the order its transforms read it. Frames that belong to no wanted
// snapshot are not converted at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class Instantanes {
public:
    // Frames of `nb_mots` words; microphone i of the snapshot is frame word
    // mots[i], scaled by facteurs[i] when given. `flottant`: the samples are
    // float32 bit patterns, else int32 counts.
    Instantanes(std::size_t nb_mots, bool flottant, std::vector<int32_t> mots, std::vector<float> facteurs, int points);

    // One snapshot: microphone i's frames are row i of `colonnes`, rows
    // `ligne` floats apart, frame t at entry (debut + t) % points.
    struct Vue {
        const float* colonnes;
        std::size_t ligne;
        int debut;
    };
    using Pret = std::function<void(const Vue& instantane)>;
    // Whether the snapshot whose first frame is frame `trame` of the call
    // is wanted; `precedent`: the snapshot before it, begun half a snapshot
    // earlier, is still being filled (it completes first).
    using Garde = std::function<bool(std::size_t trame, bool precedent)>;

    // `trames` whole frames; `pret` is called for every wanted snapshot
    // completed (all of them without `garde`). `suite` false: the frames do
    // not follow the previous ones, the snapshot begun is dropped.
    void ajoute(const uint32_t* mots, std::size_t trames, bool suite, const Pret& pret, const Garde& garde = {});

    int points() const { return points_; }
    std::size_t micros() const { return mots_.size(); }
    // Snapshots completed since construction, wanted or not.
    std::uint64_t completes() const { return completes_; }

private:
    void convertit(const uint32_t* mots, std::size_t trames, std::size_t position);

    std::size_t nb_mots_;
    bool flottant_;
    std::vector<int32_t> mots_;
    std::vector<float> facteurs_;
    std::vector<char> suivis_; // per 4 microphones: their words follow one another
    int points_;
    std::size_t ligne_;
    std::vector<float> tampon_;  // [microphone][ligne_]
    std::size_t debut_ = 0;      // entry of the first frame of the snapshot being filled
    std::size_t remplies_ = 0;   // its frames in tampon_
    bool garde_ = false;         // it is wanted
    bool garde_suivant_ = false; // the one begun at its half is wanted
    std::uint64_t completes_ = 0;
};
