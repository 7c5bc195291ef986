// Stand-in until the service library lands.
