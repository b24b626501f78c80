// quorvel.js placeholder
