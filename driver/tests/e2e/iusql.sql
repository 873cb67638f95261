SELECT City, Amount, Day, Paid FROM [Sales 2026$] WHERE City LIKE 'B%' ORDER BY Amount
SELECT COUNT(*), SUM(Amount) FROM [Sales 2026$] WHERE Day >= #2026-02-01#
SELECT TOP 2 N, Half FROM [Numbers$] ORDER BY N DESC
SELECT {fn UCASE(City)} FROM [Sales 2026$] WHERE City LIKE 'B%' ORDER BY 1
SELECT LENGTH(Note) FROM [Sales 2026$] WHERE City = 'Bern'
SELECT Value FROM [Mixed$] WHERE Value IS NULL
SELECT * FROM [Sheet1$]
DELETE FROM [Numbers$]
