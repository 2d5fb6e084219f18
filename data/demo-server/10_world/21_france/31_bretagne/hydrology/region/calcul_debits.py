# -*- coding: utf-8 -*-
"""Débits caractéristiques des stations hydrométriques de Bretagne.

Outil de script ArcGIS 9.3 : lit une table de débits journaliers (station, date,
débit en m3/s) et écrit le module et les débits d'étiage (QMNA5 approché).
"""

import csv
import sys


def module_et_etiage(debits):
    debits = sorted(debits)
    module = sum(debits) / len(debits)
    etiage = debits[len(debits) // 5]
    return module, etiage


def main(entree, sortie):
    par_station = {}
    with open(entree) as f:
        for ligne in csv.reader(f, delimiter=';'):
            par_station.setdefault(ligne[0], []).append(float(ligne[2]))
    with open(sortie, 'w') as f:
        for station in sorted(par_station):
            module, etiage = module_et_etiage(par_station[station])
            f.write('%s;%.3f;%.3f\n' % (station, module, etiage))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
