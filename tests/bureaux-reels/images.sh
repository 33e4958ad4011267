# shellcheck shell=bash
# Test pictures (sourced). Four flat quadrants, split off-centre so that a cropped fill
# and a stretch put the split in different places.
couleur_quadrant() { # <arrangement 1|2> <quadrant 1..4: TL TR BL BR>
    local -a couleurs
    if [ "$1" = 1 ]; then couleurs=(red lime blue yellow); else couleurs=(yellow blue lime red); fi
    printf '%s' "${couleurs[$(($2 - 1))]}"
}

image_quadrants() { # <file.png> <arrangement 1|2>: 100x50, split at x=30, y=20
    convert -size 100x50 "xc:$(couleur_quadrant "$2" 4)" \
        -fill "$(couleur_quadrant "$2" 1)" -draw 'rectangle 0,0 29,19' \
        -fill "$(couleur_quadrant "$2" 2)" -draw 'rectangle 30,0 99,19' \
        -fill "$(couleur_quadrant "$2" 3)" -draw 'rectangle 0,20 29,49' \
        "PNG24:$1"
}
