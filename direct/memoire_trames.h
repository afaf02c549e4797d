// The last seconds of the frames the live analysis took, for listening to a
// point of the map and for finding its distance after the fact. A ring of
// whole frames: a block that does not follow the previous one (frames left
// out) starts it afresh, so that what it holds is always one unbroken
// stretch of the stream, the latest.
//
// 1045 words at 50 kHz take 209 MB per second: the ring holds at most
// `octets_max` bytes. Its memory is taken when it is made and left
// untouched until frames come (no page is written before its frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "analyse/ecoute.h"

class MemoireTrames {
public:
    // Frames of `nb_mots` words at `frequence` Hz, `duree_s` seconds of them
    // at most, within `octets_max` bytes (at least one frame).
    MemoireTrames(std::vector<int32_t> codes, bool flottant, double frequence, double duree_s, std::size_t octets_max);

    const std::vector<int32_t>& codes() const { return codes_; }
    bool flottant() const { return flottant_; }
    double frequence() const { return frequence_; }
    std::size_t capacite() const { return capacite_; } // frames

    // `trames` whole frames; `suite` false: they do not follow the frames
    // held, which are forgotten.
    void ajoute(const uint32_t* mots, std::size_t trames, bool suite);
    void vide() { tenues_ = 0; }

    // Frames held (one unbroken stretch), at most capacite().
    std::size_t trames() const { return tenues_; }
    // The latest `n` frames held (at most trames()), oldest first, in one
    // or two pieces of consecutive frames.
    std::vector<MorceauTrames> dernieres(std::size_t n) const;

private:
    std::vector<int32_t> codes_;
    bool flottant_;
    double frequence_;
    std::size_t nb_mots_;
    std::size_t capacite_;
    std::unique_ptr<uint32_t[]> mots_; // capacite_ frames
    std::size_t fin_ = 0;              // frame after the latest, in the ring
    std::size_t tenues_ = 0;
};
