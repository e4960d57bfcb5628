import bezo

print("bezo", bezo.version())
print("functions:", ", ".join(bezo.__all__))
