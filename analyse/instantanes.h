// Whole frames to the snapshots of the acoustic map: the samples of the
// microphones used, as floats (in pascals when factors are given), cut into
// snapshots of `points` frames that overlap by half. The map of a recording
// (carte.h) and the live map (carte_directe.h) both take their snapshots
// from here.
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

    // One snapshot: points x mots.size() floats, frame after frame.
    using Pret = std::function<void(const float* instantane)>;

    // `trames` whole frames; `pret` is called for every snapshot completed.
    // `suite` false: the frames do not follow the previous ones, the
    // snapshot begun is dropped.
    void ajoute(const uint32_t* mots, std::size_t trames, bool suite, const Pret& pret);

    int points() const { return points_; }
    std::size_t micros() const { return mots_.size(); }

private:
    std::size_t nb_mots_;
    bool flottant_;
    std::vector<int32_t> mots_;
    std::vector<float> facteurs_;
    int points_;
    std::vector<float> tampon_;
    int remplies_ = 0; // frames in tampon_
};
