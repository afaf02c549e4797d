// ondaris-simulateur: the same window over the simulated box, streaming in
// real time with its scene (a tone source over beam 40), for learning and
// rehearsing runs, or replaying a recording (--rejoue). The title says the
// box is simulated.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/fenetre/application.h"
#include "app/model/instrument.h"
#include "app/model/principale.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"
#include "simulator/simulated_box.h"

const char* const AIDE = "Usage : ondaris-simulateur [--rejoue FICHIER.dat] [--geometrie FICHIER.xml [--point ...]]\n"
                         "                          [--help] [--version]\n"
                         "La fenêtre d'acquisition de l'Ondaris 1024 sur un boîtier simulé, pour apprendre le\n"
                         "programme et répéter une acquisition : une source sonore au-dessus du faisceau 40,\n"
                         "en temps réel ; le déclenchement externe arrive 1 s après Start. Le titre de la\n"
                         "fenêtre se termine par « BOÎTIER SIMULÉ ». Les réglages sont ceux de\n"
                         "config_en_cours.txt du répertoire courant, comme pour ondaris.\n"
                         "\n"
                         "  --rejoue FICHIER.dat   le boîtier rejoue cet enregistrement (avec son .Ond et son\n"
                         "             .log) au lieu de la source sonore : chaque voie choisie reçoit les\n"
                         "             échantillons enregistrés de la même voie, en boucle depuis la première\n"
                         "             trame à chaque Start ; le compteur A est celui du boîtier. Les micros\n"
                         "             et VA absents de l'enregistrement sont à zéro, et une autre fréquence\n"
                         "             le rejoue plus vite ou plus lentement : le panneau le dit au Start\n"
                         "  --geometrie FICHIER.xml   les positions des 1024 micros (XML d'acoular, <MicArray>,\n"
                         "             par exemple geometrie-simulateur.xml des données du programme) : celles\n"
                         "             de la scène et de la carte acoustique de la fenêtre d'analyse\n"
                         "  --point X,Y,Z,bruit | --point X,Y,Z,HZ   une source ponctuelle à (X, Y, Z) mètres\n"
                         "             devant l'antenne, bruit large bande ou son pur ; répétable ; remplace la\n"
                         "             source au-dessus du faisceau 40\n"
                         "  --help     cette aide\n"
                         "  --version  version du programme\n";

// The options: --rejoue FICHIER, --geometrie FICHIER, --point TEXTE
// (repeatable), each also as --option=VALEUR. A message when one is bad.
struct Arguments {
    std::string dat, geometrie;
    std::vector<std::string> points;
};

std::string lit_arguments(int argc, char** argv, Arguments& a)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        for (const char* nom : {"--rejoue", "--geometrie", "--point"}) {
            const std::string n = nom;
            std::string valeur;
            if (arg == n) {
                if (i + 1 >= argc)
                    return n + " demande une valeur";
                valeur = argv[++i];
            } else if (arg.rfind(n + "=", 0) == 0) {
                valeur = arg.substr(n.size() + 1);
            } else {
                continue;
            }
            if (valeur.empty())
                return n + " demande une valeur";
            if (n == "--rejoue")
                a.dat = valeur;
            else if (n == "--geometrie")
                a.geometrie = valeur;
            else
                a.points.push_back(valeur);
        }
    }
    if (!a.points.empty() && a.geometrie.empty())
        return "--point demande --geometrie FICHIER.xml";
    return {};
}

int main(int argc, char** argv)
{
    int code = 0;
    if (repond_ligne_commande(argc, argv, "ondaris-simulateur", AIDE, code))
        return code;
    Arguments a;
    const std::string refus_arguments = lit_arguments(argc, argv, a);
    if (!refus_arguments.empty()) {
        std::fprintf(stderr, "ondaris-simulateur : %s\n", refus_arguments.c_str());
        return 64;
    }
    const std::string& dat = a.dat;
    sim::Options options; // paced, external trigger 1 s after Start
    if (!a.geometrie.empty()) {
        std::string erreur;
        if (lit_geometrie(a.geometrie, options.scene.geometry, erreur) != 0) {
            std::fprintf(stderr, "ondaris-simulateur : --geometrie : %s\n", erreur.c_str());
            return 64;
        }
        for (const std::string& t : a.points) {
            sim::PointSource source;
            const std::string refus = sim::parse_point(t, source);
            if (!refus.empty()) {
                std::fprintf(stderr, "ondaris-simulateur : %s\n", refus.c_str());
                return 64;
            }
            options.scene.points.push_back(source);
        }
    }
    if (!dat.empty()) {
        auto rejeu = std::make_shared<sim::Recording>();
        const std::string refus = sim::load_recording(dat, *rejeu);
        if (!refus.empty()) {
            std::fprintf(stderr, "ondaris-simulateur : %s\n", refus.c_str());
            return 64;
        }
        options.replay = rejeu;
    }
    sim::SimulatedBox box(options);
    return execute_fenetre(argc, argv, box, "  —  BOÎTIER SIMULÉ", [&](Principale& p) {
        if (options.replay) {
            // At Start, on the run's thread, where the journal's messages go
            // through to the pane.
            options.notice = [&p](const std::string& text) { p.journal.call_verb(text); };
            box.set_options(options);
        }
        // The scene's array is the analysis window's.
        if (!a.geometrie.empty())
            charge_geometrie(p, a.geometrie);
        if (options.replay) {
            std::string texte = "Boîtier simulé, " + sim::recording_summary(*options.replay) + "\r\n";
            for (const std::string& r : options.replay->remarks)
                texte += "  " + r + "\r\n";
            p.call_verb(texte);
        }
    });
}
