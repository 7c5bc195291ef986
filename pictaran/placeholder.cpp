// Stand-in until the picture library lands.
