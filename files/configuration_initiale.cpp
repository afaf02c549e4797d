#include "files/configuration_initiale.h"

#include "files/chemins.h"

Configuration configuration_initiale()
{
    Configuration cfg;
    cfg.ligne_freq = 0;
    cfg.duree_definie = true;
    cfg.duree = 5;
    cfg.duree_max = 300;
    cfg.declenchement = Declenchement::Soft;
    cfg.condition = Condition::FlancMontant;
    cfg.type = TypeEchantillons::Int32;
    cfg.enregistrement = true;
    cfg.nom_automatique = true;
    cfg.dossier = dossier_initial();
    cfg.nom = "Test";
    for (auto& faisceau : cfg.selection.micros)
        faisceau.fill(true);
    cfg.selection.compteurs[0] = true;
    return cfg;
}
