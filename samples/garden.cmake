# The sample garden, described: "Ogrody pod Lipami", an association of about
# 120 allotment plots, in the bookkeeping year 2011. The build makes its two
# data files from this description (cmake/generate_garden.cmake): the plots
# (garden.csv) and a year of cash documents (cash.csv); garden.session runs
# the year on them. Choices are drawn with a fixed seed: the same description
# always gives the same garden.

set(garden_year 2011)
set(garden_seed 20110101)
set(garden_plots 120)

# Holders: a first name and a surname; a surname in -ski/-cki takes -ska/-cka
# for a woman.
set(garden_women Anna Maria Krystyna Barbara Elżbieta Zofia Teresa Halina Danuta Irena
                 Małgorzata Jadwiga Ewa Grażyna Bożena Agnieszka Joanna Katarzyna)
set(garden_men Jan Andrzej Piotr Stanisław Tadeusz Józef Krzysztof Marek Zbigniew Ryszard
               Henryk Kazimierz Jerzy Władysław Tomasz Paweł Grzegorz Mieczysław)
set(garden_surnames Nowak Kowalski Wiśniewski Wójcik Kowalczyk Kamiński Lewandowski Zieliński
                    Szymański Woźniak Dąbrowski Kozłowski Jankowski Mazur Kwiatkowski Krawczyk
                    Piotrowski Grabowski Nowakowski Pawłowski Michalski Adamczyk Dudek Zając
                    Wieczorek Jabłoński Król Majewski Olszewski Jaworski Malinowski Pawlak
                    Witkowski Walczak Stępień Górski Rutkowski Michalak Sikora Ostrowski)

# Areas in m²: most plots are of the usual size, a few small, a few joined.
# Each line: weight:smallest:largest.
set(garden_areas
    "70:250:500"
    "20:150:250"
    "10:500:1200")
# One area in ten has a half square metre.

# Fee letters of a plot, as the board writes them: r water, e energy/upkeep,
# c heating with its amount; in either case, with notes among them (a note
# with r, e or c in it would switch on a fee, as the plug-in reads letters
# anywhere). Each line: weight:letters.
set(garden_letters
    "30:r e"
    "14:re"
    "10:r"
    "6:"
    "6:R E"
    "5:rE"
    "8:r e c150"
    "4:re c220.50"
    "3:r e C180"
    "3:C"
    "3:e"
    "3:r e altana"
    "3:r studnia"
    "2:E")

# Cash documents: each plot pays its year's fees in about five documents
# spread over the year, two to four lines each; about one line in seven is
# typed by hand instead of being one of the plug-in's fee lines. Each line:
# text:amount in grosze.
set(garden_documents_per_plot 5)
set(garden_hand_typed_share 7)
set(garden_hand_typed
    "opłata manipulacyjna:500"
    "kara za zwłokę:1250"
    "woda zaliczka:3000"
    "energia zaliczka:2000"
    "wpłata na poczet opłat:5000"
    "wywóz śmieci:1800"
    "klucz do bramy:1500"
    "zwrot za wodę:-1200")

# The rates of the year (in grosze): plot, water a m², energy/upkeep and
# membership a plot, as the board set them.
set(garden_rates 38 42 1000 600)
