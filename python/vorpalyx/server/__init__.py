"""`vorpalyx serve`: a local web page and JSON API over a Lexicon.

Imported only by that command and by the tests; it needs the `web` extra
(Starlette and uvicorn).
"""
