SELECT City, Amount, Day FROM sales#csv ORDER BY Amount
SELECT Note FROM [sales.csv] WHERE City = 'Bern'
SELECT COUNT(*), SUM(Amount) FROM sales#csv WHERE Day >= #2026-02-01#
SELECT Name, Age FROM people#tab ORDER BY Name
SELECT * FROM semi#txt ORDER BY Amount
SELECT N FROM mixed#csv WHERE N > 24
SELECT * FROM odd#csv
SELECT TOP 1 City FROM `sales#csv` ORDER BY City
SELECT * FROM archive#csv
DELETE FROM sales#csv
